// RSP_DISCOVER datagrams as routers of each protocol version send them.
#pragma once

#include <optional>
#include <string>

#include "protocol/Protocol.h"
#include "protocol/WireBytes.h"

struct DiscoveryFields {
    std::uint32_t version = 0x00010003;
    MacAddress source = {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C};
    MacAddress destination = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::uint32_t ipAddress = 0xC0A80B01;  // 192.168.11.1
    std::uint32_t netmask = 0xFFFFFF00;    // 255.255.255.0
    std::uint16_t capabilities = 0x0100;
    std::uint32_t key = 0x12345678;
    std::string name = "Office";
    std::string shortIdentity = "VQT-RN8 1.00";
    std::uint16_t subCode = 60;
    // Appended after the fixed part; identityOffset defaults to its length.
    std::optional<Bytes> longIdentity;
    std::optional<std::uint16_t> identityOffset;
    std::uint16_t headerLength = 32;
};

// Bytes of a NUL-terminated text.
inline Bytes Sz(std::string_view text) {
    Bytes b(text.begin(), text.end());
    b.push_back(0);
    return b;
}

// The fixed part of the payload at `version`.
inline std::size_t FixedPartSize(std::uint32_t version) {
    if (version >= 0x00010003) return 156;
    if (version >= 0x00010002) return 140;
    if (version >= 0x00010001) return 132;
    return 128;
}

inline Bytes DiscoveryPayload(const DiscoveryFields& f) {
    const Bytes tail = f.longIdentity.value_or(Bytes{});
    const std::uint16_t identityOffset = f.identityOffset.value_or(static_cast<std::uint16_t>(tail.size()));
    Bytes p = Cat({
        Le32(f.ipAddress),            // [0:4)     ipAddress
        Le32(f.netmask),              // [4:8)     netmask
        Le16(f.capabilities),         // [8:10)    capabilities
        Le16(0xA5A5),                 // [10:12)   not interpreted
        Le32(f.key),                  // [12:16)   key
        Text(f.name, 32),             // [16:48)   name
        Text("uninterpreted", 32),    // [48:80)   text
        Text(f.shortIdentity, 16),    // [80:96)   shortIdentity
        Text("uninterpreted", 32),    // [96:128)  text
        Le16(0xA5A5),                 // [128:130) not interpreted        (0x00010001)
        Le16(identityOffset),         // [130:132) identityOffset
        Fill(6, 0xA5),                // [132:138) not interpreted        (0x00010002)
        Le16(f.subCode),              // [138:140) subCode
        Text("uninterpreted", 16),    // [140:156) text                   (0x00010003)
    });
    p.resize(FixedPartSize(f.version));
    p.insert(p.end(), tail.begin(), tail.end());
    return p;
}

inline Bytes DiscoveryHeader(const DiscoveryFields& f, std::size_t payloadLength) {
    Bytes h = Cat({
        Le16(f.headerLength),                        // [0:2)   headerLength
        Le16(0),                                     // [2:4)   reserved
        Le32(f.version),                             // [4:8)   version
        {0x3F, 0xC0},                                // [8:10)  codeCheck, code RSP_DISCOVER
        Le16(static_cast<std::uint16_t>(payloadLength)),  // [10:12) payloadLength
        Le32(0),                                     // [12:16) reserved
        Bytes(f.source.begin(), f.source.end()),     // [16:22) sourceAddress: the router
        Bytes(f.destination.begin(), f.destination.end()),  // [22:28) destinationAddress
        Le32(0),                                     // [28:32) status, never read
    });
    h.resize(f.headerLength, 0);
    return h;
}

inline Bytes DiscoveryReply(const DiscoveryFields& f) {
    const Bytes payload = DiscoveryPayload(f);
    return Cat({DiscoveryHeader(f, payload.size()), payload});
}
