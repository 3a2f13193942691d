#include "protocol/Discovery.h"

#include <algorithm>

#include "protocol/ByteCursor.h"
#include "registry/DeviceList.h"

namespace {

// The versions that added fields to the payload.
constexpr std::uint32_t VERSION_LONG_IDENTITY = 0x00010001;
constexpr std::uint32_t VERSION_UPDATE_FLAGS = 0x00010002;
constexpr std::uint32_t VERSION_MODULE_FLAGS = 0x00010003;

constexpr std::uint16_t CAP_UPDATABLE = 0x0100;
constexpr std::uint16_t CAP_UPDATING = 0x0200;
constexpr std::uint16_t CAP_EXT_UPDATE = 0x0400;
constexpr std::uint16_t CAP_MODULE_SLOT = 0x0800;

constexpr std::uint32_t DISCOVERY_FLAGS = DEV_UPDATABLE | DEV_UPDATING | DEV_EXT_UPDATE | DEV_MODULE_SLOT;

// Everything a RSP_DISCOVER says about its router, read in full before any
// record is touched.
struct DiscoveryReply {
    MacAddress mac = {};
    std::uint32_t ipAddress = 0;
    std::uint32_t netmask = 0;
    std::uint32_t key = 0;
    std::uint32_t flags = 0;                 // the DEV_ flags this reply sets
    std::span<const std::uint8_t> name;      // the 32-byte field
    std::span<const std::uint8_t> identity;  // short or long form, at most 256 bytes
    std::uint16_t subCode = 0;
};

// RSP_DISCOVER payload, offsets from its start, by the version that added them:
//   0x00010000    0 u32 ipAddress          4 u32 netmask
//                 8 u16 capabilities      10 u16 -
//                12 u32 key               16 32  name
//                48 32  -                 80 16  shortIdentity
//                96 32  -
//   0x00010001  128 u16 -                130 u16 identityOffset
//   0x00010002  132 6   -                138 u16 subCode
//   0x00010003  140 16  -                    (fixed part: 128, 132, 140, 156 bytes)
//   L - identityOffset: longIdentity, up to its NUL, at most 256 bytes
//
// False when the datagram is not a RSP_DISCOVER, or when its payload is
// shorter than the fixed part of its version: such a reply is ignored rather
// than let absent fields wipe a router's address or key.
bool ParseDiscoveryReply(std::span<const std::uint8_t> datagram, DiscoveryReply& reply) {
    DatagramHeader header;
    if (!ReadHeader(datagram, header) || header.CodeWord() != CodeWord(RSP_DISCOVER)) return false;
    const std::uint32_t version = header.version;
    const std::span<const std::uint8_t> payload = PayloadOf(datagram);

    ByteReader reader(payload);
    reply.ipAddress = reader.U32();
    reply.netmask = reader.U32();
    const std::uint16_t capabilities = reader.U16();
    reader.Skip(2);
    reply.key = reader.U32();
    reply.name = reader.Take(32);
    reader.Skip(32);
    reply.identity = reader.Take(16);
    reader.Skip(32);
    std::uint16_t identityOffset = 0;
    if (version >= VERSION_LONG_IDENTITY) {
        reader.Skip(2);
        identityOffset = reader.U16();
    }
    if (version >= VERSION_UPDATE_FLAGS) {
        reader.Skip(6);
        reply.subCode = reader.U16();
    }
    if (version >= VERSION_MODULE_FLAGS) reader.Skip(16);
    if (!reader.Ok()) return false;

    // An offset larger than the payload would put the long identity before
    // it; the short identity then stands. A long identity that reaches the
    // end of the payload without a NUL ends there, like every fixed-width
    // text of the protocol.
    if (version >= VERSION_LONG_IDENTITY && identityOffset != 0 && identityOffset <= payload.size()) {
        ByteReader tail(payload);
        tail.Skip(payload.size() - identityOffset);
        reply.identity = tail.Take(std::min<std::size_t>(identityOffset, IDENTITY_SIZE));
    }

    if (version >= VERSION_UPDATE_FLAGS) {
        if (capabilities & CAP_UPDATABLE) reply.flags |= DEV_UPDATABLE;
        if (capabilities & CAP_UPDATING) reply.flags |= DEV_UPDATING;
    }
    if (version >= VERSION_MODULE_FLAGS) {
        if (capabilities & CAP_EXT_UPDATE) reply.flags |= DEV_EXT_UPDATE;
        if (capabilities & CAP_MODULE_SLOT) reply.flags |= DEV_MODULE_SLOT;
    }
    reply.mac = header.sourceAddress;
    return true;
}

// Replaces a text field whole: `text` up to its first NUL, at most `limit`
// bytes, and zeros after it.
template <std::size_t N>
void StoreText(char (&field)[N], std::span<const std::uint8_t> text, std::size_t limit) {
    static_assert(N > 0);
    const auto end = std::find(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(text.size(), limit)),
                               std::uint8_t{0});
    std::fill(std::begin(field), std::end(field), '\0');
    std::transform(text.begin(), end, field, [](std::uint8_t b) { return static_cast<char>(b); });
}

void ApplyDiscoveryReply(const DiscoveryReply& reply, DeviceRecord& record) {
    StoreText(record.name, reply.name, NAME_SIZE - 1);  // the last byte stays NUL
    record.ipAddress = reply.ipAddress;
    record.netmask = reply.netmask;
    record.key = reply.key;
    record.mac = reply.mac;
    StoreText(record.identity, reply.identity, IDENTITY_SIZE);
    record.flags = (record.flags & ~DISCOVERY_FLAGS) | reply.flags;
    record.subCode = reply.subCode;
}

}  // namespace

DeviceRecord* DecodeDiscoveryReply(std::span<const std::uint8_t> datagram, DeviceRecord& record) {
    DiscoveryReply reply;
    if (!ParseDiscoveryReply(datagram, reply)) return nullptr;
    ApplyDiscoveryReply(reply, record);
    return &record;
}

DeviceRecord* AbsorbDiscoveryReply(std::span<const std::uint8_t> datagram, DeviceList& devices) {
    DiscoveryReply reply;
    if (!ParseDiscoveryReply(datagram, reply)) return nullptr;
    DeviceRecord* record = devices.FindDeviceByMac(reply.mac);
    if (record == nullptr) record = devices.NewDevice();
    if (record == nullptr) return nullptr;
    ApplyDiscoveryReply(reply, *record);
    return record;
}
