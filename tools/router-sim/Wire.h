// The router's side of the datagram format: reading requests, writing replies.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

inline constexpr std::uint16_t ROUTER_PORT = 22360;
inline constexpr std::size_t HEADER_LENGTH = 32;
inline constexpr std::size_t MAX_DATAGRAM = 1500;

inline constexpr std::uint32_t STATUS_OK = 0;
inline constexpr std::uint32_t STATUS_FAILED = 0xFFFFFFFF;
inline constexpr std::uint32_t STATUS_BAD_PASSWORD = 0x80000001;

using Mac = std::array<std::uint8_t, 6>;
inline constexpr Mac BROADCAST_MAC = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

using Bytes = std::vector<std::uint8_t>;

// The five requests a router answers; the order is the index of per-kind settings.
enum class RequestKind { Discover, ModuleInfo, Update, UpdateExt, Status };
inline constexpr std::size_t KIND_COUNT = 5;

std::uint8_t requestCode(RequestKind kind);
std::optional<RequestKind> kindOfRequestCode(std::uint8_t code);
std::string_view kindName(RequestKind kind);
std::optional<RequestKind> kindNamed(std::string_view name);
std::uint16_t requestPayloadLength(RequestKind kind);

// Little-endian fields read from a buffer whose bounds the caller has checked.
std::uint16_t readU16(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t offset);
void writeU16(Bytes& bytes, std::size_t offset, std::uint16_t value);
void writeU32(Bytes& bytes, std::size_t offset, std::uint32_t value);

struct Request {
    RequestKind kind;
    std::uint32_t version;
    Mac source;
    Mac destination;
    Bytes payload;
};

// A request as the program must build it: at least a whole header, lengths that add up
// to what arrived, a request code with its complement and the payload length of its
// kind. Anything else yields none and says why.
std::optional<Request> parseRequest(std::span<const std::uint8_t> datagram, std::string& whyNot);

// A reply: the 32-byte header (reserved fields zero) followed by the payload.
Bytes buildReply(RequestKind answering, std::uint32_t version, const Mac& source, const Mac& destination,
                 std::uint32_t status, std::span<const std::uint8_t> payload);

struct DiscoveryFields {
    std::uint32_t ipAddress;  // most significant byte = first dotted octet
    std::uint32_t netmask;
    std::uint16_t capabilities;
    std::uint32_t key;
    std::string name;
    std::string shortIdentity;
    std::string longIdentity;  // empty: none (identityOffset 0)
    std::uint16_t subCode;
};

// Size of the fixed part of a discovery payload at a header version.
std::size_t discoveryFixedLength(std::uint32_t version);
Bytes buildDiscoveryPayload(std::uint32_t version, const DiscoveryFields& fields);

// A reply broken in one way each, so that the program's acceptance must drop it.
enum class Malformation {
    Short,               // 29 bytes: under the 30-byte minimum
    OldVersion,          // version 0x0000FFFF
    LengthMismatch,      // payloadLength one more than what follows
    ForeignDestination,  // addressed to another station
    NotReply,            // the request's code (bit 0x40 clear), complement right
    BadCheck,            // codeCheck not the complement of code
    Oversize,            // 1501 bytes whose lengths add up
};
inline constexpr std::array ALL_MALFORMATIONS = {
    Malformation::Short,    Malformation::OldVersion, Malformation::LengthMismatch, Malformation::ForeignDestination,
    Malformation::NotReply, Malformation::BadCheck,   Malformation::Oversize,
};
std::string_view malformationName(Malformation m);
std::optional<Malformation> malformationNamed(std::string_view name);
// `station` is the requester's hardware address, from which the foreign one is derived.
Bytes malform(const Bytes& reply, Malformation how, const Mac& station);

std::string macText(const Mac& mac);
std::string hexText(std::span<const std::uint8_t> bytes);

}  // namespace sim
