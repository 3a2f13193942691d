#include "RouterReplies.h"

#include <cassert>
#include <cstring>

namespace {

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutText(std::vector<std::uint8_t>& out, std::size_t at, std::size_t width, const std::string& text) {
    assert(text.size() <= width);
    std::memcpy(out.data() + at, text.data(), text.size() < width ? text.size() : width);
}

std::uint32_t GetU32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at]) | static_cast<std::uint32_t>(d[at + 1]) << 8 |
           static_cast<std::uint32_t>(d[at + 2]) << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}

}  // namespace

SimRouter NumberedRouter(std::uint32_t n) {
    SimRouter r;
    r.mac = {0x00, 0x80, 0x92, static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
             static_cast<std::uint8_t>(n)};
    r.ipAddress = 0x0A000000 | (n & 0xFFFFFF);
    r.name = "Router " + std::to_string(n);
    r.identity = "VQT-RN8 1.10";
    return r;
}

std::vector<std::uint8_t> ReplyDatagram(std::uint8_t code, const MacAddress& from, const MacAddress& to,
                                        std::uint32_t status, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> d(HEADER_SIZE + payload.size());
    PutU16(d, 0, HEADER_SIZE);                                   // [0:2)   headerLength
    PutU32(d, 4, REQUEST_VERSION);                               // [4:8)   version 0x00010003
    d[8] = static_cast<std::uint8_t>(~code);                     // [8]     codeCheck
    d[9] = code;                                                 // [9]     code
    PutU16(d, 10, static_cast<std::uint16_t>(payload.size()));  // [10:12) payloadLength
    std::memcpy(d.data() + 16, from.data(), 6);                  // [16:22) sourceAddress
    std::memcpy(d.data() + 22, to.data(), 6);                    // [22:28) destinationAddress
    PutU32(d, 28, status);                                       // [28:32) status
    if (!payload.empty()) std::memcpy(d.data() + HEADER_SIZE, payload.data(), payload.size());
    return d;
}

std::vector<std::uint8_t> DiscoveryReply(const SimRouter& router, const MacAddress& to) {
    std::vector<std::uint8_t> p(156);
    PutU32(p, 0, router.ipAddress);        // [0:4)     ipAddress
    PutU32(p, 4, 0xFFFFFF00);              // [4:8)     netmask 255.255.255.0
    PutU16(p, 8, router.capabilities);     // [8:10)    capabilities
    PutU32(p, 12, router.key);             // [12:16)   key
    PutText(p, 16, 32, router.name);       // [16:48)   name
    PutText(p, 80, 16, router.identity);   // [80:96)   shortIdentity
    PutU16(p, 130, 0);                     // [130:132) identityOffset: no long identity
    PutU16(p, 138, router.subCode);        // [138:140) subCode
    return ReplyDatagram(RSP_DISCOVER, router.mac, to, STATUS_OK, p);
}

std::vector<std::uint8_t> ModuleInfoReply(const MacAddress& from, const MacAddress& to, std::uint32_t status,
                                          std::string_view text) {
    const std::vector<std::uint8_t> p(text.begin(), text.end());
    return ReplyDatagram(RSP_MODULE_INFO, from, to, status, p);
}

SentRequest ParseRequest(std::span<const std::uint8_t> datagram) {
    SentRequest r;
    if (datagram.size() < HEADER_SIZE) return r;
    r.code = datagram[9];
    std::memcpy(r.destination.data(), datagram.data() + 22, 6);
    if (datagram.size() >= HEADER_SIZE + 4) r.argument = GetU32(datagram, HEADER_SIZE);
    return r;
}
