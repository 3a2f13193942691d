// Arbitrary datagrams through acceptance, the receive queue and discovery
// decoding into the device registry, then publication; checks what must hold
// whatever arrives.
//
// Input: a sequence of datagrams, each a u16 little-endian length followed by
// that many bytes (the last one takes what is left).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "DialogSurface.h"
#include "FakeDialog.h"
#include "FakeHost.h"
#include "FakeMessages.h"
#include "FakeUdp.h"
#include "engine/NetworkSession.h"
#include "engine/ReceiveQueue.h"
#include "protocol/Acceptance.h"
#include "protocol/ByteCursor.h"
#include "protocol/Discovery.h"
#include "protocol/Networking.h"
#include "registry/DeviceList.h"

#define CHECK(condition)                                                                    \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

namespace {

constexpr std::size_t MAX_DATAGRAMS = 32;
constexpr std::uint32_t DISCOVERY_FLAGS = DEV_UPDATABLE | DEV_UPDATING | DEV_EXT_UPDATE | DEV_MODULE_SLOT;

std::vector<std::span<const std::uint8_t>> SplitDatagrams(std::span<const std::uint8_t> input) {
    std::vector<std::span<const std::uint8_t>> datagrams;
    ByteReader reader(input);
    while (reader.Remaining() >= 2 && datagrams.size() < MAX_DATAGRAMS) {
        const std::size_t length = std::min<std::size_t>(reader.U16(), reader.Remaining());
        datagrams.push_back(reader.Take(length));
    }
    return datagrams;
}

template <std::size_t N>
bool ZeroAfterText(const char (&field)[N]) {
    const char* end = std::find(field, field + N, '\0');
    return std::all_of(end, field + N, [](char c) { return c == 0; });
}

template <typename Field>
bool AllZero(const Field& field) {
    return std::all_of(std::begin(field), std::end(field), [](auto b) { return b == 0; });
}

std::uint32_t Le(std::span<const std::uint8_t> d, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | d[at + static_cast<std::size_t>(i)];
    return v;
}

std::size_t FixedPart(std::uint32_t version) {
    return version >= 0x00010003 ? 156 : version >= 0x00010002 ? 140 : version >= 0x00010001 ? 132 : 128;
}

// Whether the decoder should take this datagram: a RSP_DISCOVER whose payload
// lies inside it and holds its version's fixed part.
bool ShouldDecode(std::span<const std::uint8_t> d) {
    if (d.size() < 30 || d[8] != 0x3F || d[9] != 0xC0) return false;
    const std::size_t headerLength = Le(d, 0, 2);
    const std::size_t payloadLength = Le(d, 10, 2);
    return headerLength + payloadLength <= d.size() && payloadLength >= FixedPart(Le(d, 4, 4));
}

// A text of at most `width` bytes at `at`, up to its NUL.
std::string TextAt(std::span<const std::uint8_t> p, std::size_t at, std::size_t width) {
    std::string text;
    for (std::size_t i = at; i < at + width && i < p.size() && p[i] != 0; ++i) text.push_back(static_cast<char>(p[i]));
    return text;
}

// What a record must say after decoding `d` (ShouldDecode(d) holds), worked
// out by plain indexing, independently of the decoder's cursor.
struct Expected {
    std::string name, identity;
    std::uint32_t ipAddress, netmask, key, flags;
    std::uint16_t subCode;
};

Expected ExpectedRecord(std::span<const std::uint8_t> d) {
    const std::uint32_t version = Le(d, 4, 4);
    const auto p = d.subspan(Le(d, 0, 2), Le(d, 10, 2));
    Expected e{TextAt(p, 16, 32), TextAt(p, 80, 16), Le(p, 0, 4), Le(p, 4, 4), Le(p, 12, 4), 0, 0};
    if (version >= 0x00010001) {
        const std::size_t offset = Le(p, 130, 2);
        if (offset != 0 && offset <= p.size()) e.identity = TextAt(p, p.size() - offset, std::min<std::size_t>(offset, 256));
    }
    const std::uint32_t capabilities = Le(p, 8, 2);
    if (version >= 0x00010002) {
        e.flags |= (capabilities & 0x0100 ? DEV_UPDATABLE : 0) | (capabilities & 0x0200 ? DEV_UPDATING : 0);
        e.subCode = static_cast<std::uint16_t>(Le(p, 138, 2));
    }
    if (version >= 0x00010003) {
        e.flags |= (capabilities & 0x0400 ? DEV_EXT_UPDATE : 0) | (capabilities & 0x0800 ? DEV_MODULE_SLOT : 0);
    }
    return e;
}

void CheckDecoded(const DeviceRecord& r, std::span<const std::uint8_t> d) {
    const Expected e = ExpectedRecord(d);
    CHECK(r.Name() == e.name);
    CHECK(r.Identity() == e.identity);
    CHECK(r.ipAddress == e.ipAddress && r.netmask == e.netmask && r.key == e.key);
    CHECK(r.flags == e.flags);
    CHECK(r.subCode == e.subCode);
    CHECK(std::equal(r.mac.begin(), r.mac.end(), d.begin() + 16));
}

// What discovery decoding may write, and what it must leave alone.
void CheckRecord(const DeviceRecord& r) {
    CHECK(r.name[NAME_SIZE - 1] == '\0');
    CHECK(ZeroAfterText(r.name));
    CHECK(ZeroAfterText(r.identity));
    CHECK((r.flags & ~DISCOVERY_FLAGS) == 0);
    CHECK(AllZero(r.password));
    CHECK(AllZero(r.moduleInfo));
    CHECK(r.requestArg == 0);
    CHECK(r.extUpdateValues == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FakeDialog dialog;
    FakeMessages messages;
    DialogSurface surface(dialog, messages);
    ModelTable models;
    DeviceList devices(models, surface);
    FakeUdp udp;
    FakeHost host;
    Networking networking(udp, host);
    ReceiveQueue queue;
    NetworkSession session(networking, queue);
    networking.InitNetworking();
    const StationIdentity station = networking.Station();

    std::size_t accepted = 0;
    for (const auto datagram : SplitDatagrams({data, size})) {
        const bool acceptable = IsAcceptable(datagram, station);
        if (acceptable) {
            CHECK(datagram.size() >= 30 && datagram.size() <= MAX_DATAGRAM_SIZE);
            CHECK(DeclaredLength(datagram) == datagram.size());
        }
        udp.Arrive(std::vector<std::uint8_t>(datagram.begin(), datagram.end()));
        const int queued = session.QueueDatagram();
        CHECK(queued == (acceptable ? 1 : 0));
        accepted += queued;

        // The decoder on its own must be safe with what acceptance would drop.
        DeviceRecord scratch;
        const bool decoded = DecodeDiscoveryReply(datagram, scratch) != nullptr;
        CHECK(decoded == ShouldDecode(datagram));
        CheckRecord(scratch);
        if (decoded) CheckDecoded(scratch, datagram);
    }
    CHECK(queue.Count() == accepted);

    std::size_t absorbed = 0;
    ScanQueue(queue, [&](std::span<const std::uint8_t> d) {
        CHECK(d.size() == DeclaredLength(d));
        CHECK(IsAcceptable(d, station));
        DeviceRecord* record = AbsorbDiscoveryReply(d, devices);
        CHECK((record != nullptr) == ShouldDecode(d));
        if (record == nullptr) return ScanStep::Next;
        CheckDecoded(*record, d);
        ++absorbed;
        return ScanStep::Remove;
    });
    CHECK(queue.Count() == accepted - absorbed);

    std::size_t records = 0;
    for (const DeviceRecord* r = devices.FirstDevice(); r != nullptr; r = r->Next(), ++records) {
        CheckRecord(*r);
        CHECK(r->listIndex == 0);
        CHECK(devices.FindDeviceByMac(r->mac) == r);  // one record per router
    }
    CHECK(records <= absorbed);

    devices.PublishDeviceList();
    int line = 0;
    for (const DeviceRecord* r = devices.FirstDevice(); r != nullptr; r = r->Next(), ++line) {
        CHECK(r->listIndex == line);
        CHECK(models.MatchModel(r->Identity(), r->subCode) != NO_MODEL_ROW);
        CHECK((r->flags & (DEV_UPDATABLE | DEV_EXT_UPDATE)) != 0);
        CHECK(dialog.lines.at(static_cast<std::size_t>(line)) == r->Name());
    }
    CHECK(dialog.lines.size() == static_cast<std::size_t>(line));

    session.ShutdownNetworking();
    CHECK(queue.Count() == 0);
    return 0;
}
