// The router protocol's constants and the 32-byte header every datagram,
// request or reply, begins with. All multi-byte fields are little-endian.
//
//   0  u16  headerLength      offset of the payload
//   2  u16  reserved
//   4  u32  version
//   8  u8   codeCheck         bitwise complement of code
//   9  u8   code              bit 0x40 set in replies
//  10  u16  payloadLength
//  12  u32  reserved
//  16  6    sourceAddress
//  22  6    destinationAddress
//  28  u32  status
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "registry/DeviceRecord.h"

constexpr std::uint16_t ROUTER_PORT = 22360;
constexpr std::size_t HEADER_SIZE = 32;
constexpr std::size_t MAX_DATAGRAM_SIZE = 1500;
constexpr std::size_t MIN_ACCEPTED_SIZE = 30;
constexpr std::uint32_t REQUEST_VERSION = 0x00010003;
constexpr std::uint32_t MIN_REPLY_VERSION = 0x00010000;
constexpr std::uint32_t BROADCAST_ADDRESS = 0xFFFFFFFF;  // 255.255.255.255
constexpr std::uint8_t REPLY_BIT = 0x40;

enum RequestCode : std::uint8_t {
    REQ_DISCOVER = 0x80,
    REQ_UPDATE = 0x84,
    REQ_STATUS = 0x85,
    REQ_MODULE_INFO = 0x86,
    REQ_UPDATE_EXT = 0x87,
};

enum ReplyCode : std::uint8_t {
    RSP_DISCOVER = 0xC0,
    RSP_UPDATE = 0xC4,
    RSP_STATUS = 0xC5,
    RSP_MODULE_INFO = 0xC6,
    RSP_UPDATE_EXT = 0xC7,
};

// Bytes 8 and 9 read as one little-endian u16: code * 256 + codeCheck.
constexpr std::uint16_t CodeWord(std::uint8_t code) {
    return static_cast<std::uint16_t>(code << 8 | static_cast<std::uint8_t>(~code));
}

enum StatusValue : std::uint32_t {
    STATUS_OK = 0,
    STATUS_FAILED = 0xFFFFFFFF,
    STATUS_BAD_PASSWORD = 0x80000001,
};

using StationIdentity = MacAddress;

constexpr MacAddress ALL_STATIONS = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

struct DatagramHeader {
    std::uint16_t headerLength = 0;
    std::uint32_t version = 0;
    std::uint8_t codeCheck = 0;
    std::uint8_t code = 0;
    std::uint16_t payloadLength = 0;
    MacAddress sourceAddress = {};
    MacAddress destinationAddress = {};
    std::uint32_t status = 0;

    std::uint16_t CodeWord() const { return static_cast<std::uint16_t>(code << 8 | codeCheck); }
};

// Reads the header of a datagram of at least 30 bytes (false when shorter).
// In a 30- or 31-byte datagram the missing bytes of `status` read as 0xFF,
// so an incomplete status is never STATUS_OK.
bool ReadHeader(std::span<const std::uint8_t> datagram, DatagramHeader& header);

// A received reply's payload: `payloadLength` bytes at `headerLength`, or
// empty when they do not lie within the datagram.
std::span<const std::uint8_t> PayloadOf(std::span<const std::uint8_t> datagram);
