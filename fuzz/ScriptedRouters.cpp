#include "ScriptedRouters.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "RouterReplies.h"

namespace {

const MacAddress OTHER_STATION = {0x00, 0x16, 0x3E, 0x99, 0x99, 0x99};

std::uint32_t VersionOf(std::uint8_t shape) {
    constexpr std::uint32_t versions[8] = {0x00010003, 0x00010003, 0x00010003, 0x00010003,
                                           0x00010000, 0x00010001, 0x00010002, 0x00020000};
    return versions[shape & 7];
}

// The discovery payload's fixed part, by version.
std::size_t FixedPart(std::uint32_t version) {
    return version >= 0x00010003 ? 156 : version >= 0x00010002 ? 140 : version >= 0x00010001 ? 132 : 128;
}

std::uint32_t StatusOf(std::uint8_t choice) {
    switch (choice) {
        case CHOOSE_OK: return STATUS_OK;
        case CHOOSE_FAILED: return STATUS_FAILED;
        case CHOOSE_BAD_PASSWORD: return STATUS_BAD_PASSWORD;
        default: return choice;
    }
}

std::vector<std::uint8_t> PayloadOf(std::uint8_t choice) {
    const int c = choice % 8;
    if (c == PAYLOAD_LONG) return std::vector<std::uint8_t>(300, 'M');
    if (c == PAYLOAD_NUL) return {0};
    return {PAYLOADS[c].begin(), PAYLOADS[c].end()};
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutText(std::vector<std::uint8_t>& out, std::size_t at, std::size_t width, std::string_view text) {
    std::memcpy(out.data() + at, text.data(), std::min(width, text.size()));
}

std::vector<std::uint8_t> DiscoveryReplyFrom(const ScriptedRouter& router, const ReplyArgs& a, const MacAddress& to) {
    const std::uint32_t version = VersionOf(a.shape);
    std::vector<std::uint8_t> p(FixedPart(version));
    PutU32(p, 0, router.ipAddress);                               // [0:4)     ipAddress
    PutU32(p, 4, router.netmask);                                 // [4:8)     netmask
    PutU16(p, 8, static_cast<std::uint16_t>(a.caps << 8));        // [8:10)    capabilities
    PutU32(p, 12, a.key);                                         // [12:16)   key
    const std::string name = a.payload == 0 ? "Router " + std::to_string(router.number)
                                            : "Renamed " + std::to_string(router.number) + "/" + std::to_string(a.payload);
    PutText(p, 16, 32, name);                                     // [16:48)   name
    const int identity = a.shape >> 5;
    PutText(p, 80, 16, IDENTITIES[identity == LONG_IDENTITY ? 0 : identity]);  // [80:96) shortIdentity
    if (p.size() >= 140) PutU16(p, 138, a.subCode < 0xF0 ? 60 : a.subCode - 0xF0);  // [138:140) subCode
    if (identity == LONG_IDENTITY && p.size() >= 132) {
        // 300 bytes without a terminator after the fixed part; the offset
        // [130:132) counts back from the payload's end.
        std::string tail = "VQT-RN8 1.10 ";
        tail.resize(300, 'L');
        p.insert(p.end(), tail.begin(), tail.end());
        PutU16(p, 130, static_cast<std::uint16_t>(tail.size()));
    }
    std::vector<std::uint8_t> d = ReplyDatagram(RSP_DISCOVER, router.mac, to, STATUS_OK, p);
    PutU32(d, 4, version);
    return d;
}

}  // namespace

ScriptedRouter PoolRouter(int index) {
    const int i = index % (ROUTERS + 1);
    const auto n = static_cast<std::uint8_t>(i == ROUTERS ? 0x7F : i + 1);
    const std::uint32_t ip = i < 3 || i == ROUTERS ? 0x0A000000u | n : 0xC0A80B00u | n;
    return {{0x00, 0x80, 0x92, 0x00, 0x00, n}, ip, 0xFFFFFF00, i};
}

ScriptedRouter RouterByMac(const MacAddress& mac) {
    for (int i = 0; i <= ROUTERS; ++i) {
        if (PoolRouter(i).mac == mac) return PoolRouter(i);
    }
    ScriptedRouter r = PoolRouter(ROUTERS);
    r.mac = mac;
    return r;
}

std::uint8_t ReplyCodeOf(std::uint8_t choice) {
    switch (choice % 6) {
        case CODE_UPDATE: return RSP_UPDATE;
        case CODE_UPDATE_EXT: return RSP_UPDATE_EXT;
        case CODE_STATUS: return RSP_STATUS;
        case CODE_MODULE_INFO: return RSP_MODULE_INFO;
        case CODE_DISCOVER: return RSP_DISCOVER;
        default: return choice;
    }
}

MacAddress ReplyDestination(std::uint8_t shape, const MacAddress& station) {
    switch (shape >> 3 & 3) {
        case 1: return ALL_STATIONS;
        case 2: return OTHER_STATION;
        default: return station;
    }
}

std::vector<std::uint8_t> ScriptedReply(const ScriptedRouter& router, std::uint8_t code, const ReplyArgs& args,
                                        const MacAddress& to) {
    if (code == RSP_DISCOVER) return DiscoveryReplyFrom(router, args, to);
    std::vector<std::uint8_t> d = ReplyDatagram(code, router.mac, to, StatusOf(args.status), PayloadOf(args.payload));
    PutU32(d, 4, VersionOf(args.shape));
    return d;
}
