// Router replies as a simulated router sends them, for tests that drive the
// workflow through the UDP endpoint.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Protocol.h"

struct SimRouter {
    MacAddress mac = {};
    std::uint32_t ipAddress = 0;  // first octet most significant
    std::string name;
    std::string identity;          // the 16-byte short identity
    std::uint16_t subCode = 60;
    std::uint16_t capabilities = 0x0100;  // 0x0100 updatable, 0x0400 extended update, 0x0800 module slot
    std::uint32_t key = 0;
};

// Router number n of a test: hardware address 00:80:92 and n in three bytes,
// address 10.0.0.0 + n, name "Router n", identity "VQT-RN8 1.10", updatable.
SimRouter NumberedRouter(std::uint32_t n);

// Any reply: the 32-byte header (headerLength 32, version 0x00010003) and the payload.
std::vector<std::uint8_t> ReplyDatagram(std::uint8_t code, const MacAddress& from, const MacAddress& to,
                                        std::uint32_t status, std::span<const std::uint8_t> payload = {});

// RSP_DISCOVER at version 0x00010003 with the fixed 156-byte payload.
std::vector<std::uint8_t> DiscoveryReply(const SimRouter& router, const MacAddress& to);

// RSP_MODULE_INFO carrying `text` as its payload.
std::vector<std::uint8_t> ModuleInfoReply(const MacAddress& from, const MacAddress& to, std::uint32_t status,
                                          std::string_view text);

// What one sent request carries.
struct SentRequest {
    std::uint8_t code = 0;
    MacAddress destination = {};
    std::uint32_t argument = 0;  // the first payload u32, 0 when there is none
};
SentRequest ParseRequest(std::span<const std::uint8_t> datagram);
