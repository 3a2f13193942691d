#include "Wire.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

struct KindInfo {
    RequestKind kind;
    std::uint8_t code;
    std::uint16_t payloadLength;
    std::string_view name;
};

constexpr std::array<KindInfo, KIND_COUNT> KINDS = {{
    {RequestKind::Discover, 0x80, 0, "discover"},
    {RequestKind::ModuleInfo, 0x86, 4, "module_info"},
    {RequestKind::Update, 0x84, 12, "update"},
    {RequestKind::UpdateExt, 0x87, 24, "update_ext"},
    {RequestKind::Status, 0x85, 0, "status"},
}};

const KindInfo& info(RequestKind kind) { return KINDS[static_cast<std::size_t>(kind)]; }

constexpr std::uint8_t REPLY_BIT = 0x40;

// Header layout, shared by requests and replies:
//   [0:2) headerLength  [2:4) reserved  [4:8) version  [8] codeCheck  [9] code
//   [10:12) payloadLength  [12:16) reserved  [16:22) sourceAddress
//   [22:28) destinationAddress  [28:32) status
constexpr std::size_t OFF_HEADER_LENGTH = 0;
constexpr std::size_t OFF_VERSION = 4;
constexpr std::size_t OFF_CODE_CHECK = 8;
constexpr std::size_t OFF_CODE = 9;
constexpr std::size_t OFF_PAYLOAD_LENGTH = 10;
constexpr std::size_t OFF_SOURCE = 16;
constexpr std::size_t OFF_DESTINATION = 22;
constexpr std::size_t OFF_STATUS = 28;

Mac readMac(std::span<const std::uint8_t> bytes, std::size_t offset) {
    Mac mac;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), mac.size(), mac.begin());
    return mac;
}

void writeText(Bytes& bytes, std::size_t offset, std::size_t width, const std::string& text) {
    std::copy_n(text.begin(), std::min(width, text.size()), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

std::uint8_t requestCode(RequestKind kind) { return info(kind).code; }

std::optional<RequestKind> kindOfRequestCode(std::uint8_t code) {
    for (const auto& k : KINDS)
        if (k.code == code) return k.kind;
    return std::nullopt;
}

std::string_view kindName(RequestKind kind) { return info(kind).name; }

std::optional<RequestKind> kindNamed(std::string_view name) {
    for (const auto& k : KINDS)
        if (k.name == name) return k.kind;
    return std::nullopt;
}

std::uint16_t requestPayloadLength(RequestKind kind) { return info(kind).payloadLength; }

std::uint16_t readU16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

void writeU16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void writeU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::optional<Request> parseRequest(std::span<const std::uint8_t> datagram, std::string& whyNot) {
    if (datagram.size() < HEADER_LENGTH) {
        whyNot = "shorter than a header (" + std::to_string(datagram.size()) + " bytes)";
        return std::nullopt;
    }
    const std::size_t headerLength = readU16(datagram, OFF_HEADER_LENGTH);
    const std::size_t payloadLength = readU16(datagram, OFF_PAYLOAD_LENGTH);
    if (headerLength < HEADER_LENGTH) {
        whyNot = "headerLength " + std::to_string(headerLength) + " is shorter than a header";
        return std::nullopt;
    }
    if (headerLength + payloadLength != datagram.size()) {
        whyNot = "headerLength " + std::to_string(headerLength) + " + payloadLength " + std::to_string(payloadLength) +
                 " does not match the " + std::to_string(datagram.size()) + " bytes received";
        return std::nullopt;
    }
    const std::uint8_t code = datagram[OFF_CODE];
    const std::uint8_t check = datagram[OFF_CODE_CHECK];
    if (static_cast<std::uint8_t>(~code) != check) {
        whyNot = "codeCheck is not the complement of code";
        return std::nullopt;
    }
    const auto kind = kindOfRequestCode(code);
    if (!kind) {
        char text[48];
        std::snprintf(text, sizeof text, "code 0x%02x is no request", code);
        whyNot = text;
        return std::nullopt;
    }
    if (payloadLength != requestPayloadLength(*kind)) {
        whyNot = "payloadLength " + std::to_string(payloadLength) + " is not the " +
                 std::to_string(requestPayloadLength(*kind)) + " of " + std::string(kindName(*kind));
        return std::nullopt;
    }
    Request request{*kind, readU32(datagram, OFF_VERSION), readMac(datagram, OFF_SOURCE),
                    readMac(datagram, OFF_DESTINATION), {}};
    request.payload.assign(datagram.begin() + static_cast<std::ptrdiff_t>(headerLength), datagram.end());
    return request;
}

Bytes buildReply(RequestKind answering, std::uint32_t version, const Mac& source, const Mac& destination,
                 std::uint32_t status, std::span<const std::uint8_t> payload) {
    Bytes bytes(HEADER_LENGTH + payload.size(), 0);
    const std::uint8_t code = requestCode(answering) | REPLY_BIT;
    writeU16(bytes, OFF_HEADER_LENGTH, HEADER_LENGTH);
    writeU32(bytes, OFF_VERSION, version);
    bytes[OFF_CODE_CHECK] = static_cast<std::uint8_t>(~code);
    bytes[OFF_CODE] = code;
    writeU16(bytes, OFF_PAYLOAD_LENGTH, static_cast<std::uint16_t>(payload.size()));
    std::copy(source.begin(), source.end(), bytes.begin() + OFF_SOURCE);
    std::copy(destination.begin(), destination.end(), bytes.begin() + OFF_DESTINATION);
    writeU32(bytes, OFF_STATUS, status);
    std::copy(payload.begin(), payload.end(), bytes.begin() + HEADER_LENGTH);
    return bytes;
}

// Discovery payload, offsets from the start of the payload:
//   [0:4) ipAddress  [4:8) netmask  [8:10) capabilities  [10:12) -  [12:16) key
//   [16:48) name  [48:80) -  [80:96) shortIdentity  [96:128) -          (0x00010000)
//   [128:130) -  [130:132) identityOffset                                (0x00010001)
//   [132:138) -  [138:140) subCode                                       (0x00010002)
//   [140:156) -                                                          (0x00010003)
//   then longIdentity and its NUL, identityOffset bytes before the end of the payload.
std::size_t discoveryFixedLength(std::uint32_t version) {
    if (version >= 0x00010003) return 156;
    if (version >= 0x00010002) return 140;
    if (version >= 0x00010001) return 132;
    return 128;
}

Bytes buildDiscoveryPayload(std::uint32_t version, const DiscoveryFields& fields) {
    const std::size_t fixed = discoveryFixedLength(version);
    const bool hasLong = version >= 0x00010001 && !fields.longIdentity.empty();
    Bytes payload(fixed + (hasLong ? fields.longIdentity.size() + 1 : 0), 0);
    writeU32(payload, 0, fields.ipAddress);
    writeU32(payload, 4, fields.netmask);
    writeU16(payload, 8, fields.capabilities);
    writeU32(payload, 12, fields.key);
    writeText(payload, 16, 32, fields.name);
    writeText(payload, 80, 16, fields.shortIdentity);
    if (hasLong) {
        writeU16(payload, 130, static_cast<std::uint16_t>(fields.longIdentity.size() + 1));
        writeText(payload, fixed, fields.longIdentity.size(), fields.longIdentity);
    }
    if (version >= 0x00010002) writeU16(payload, 138, fields.subCode);
    return payload;
}

std::string_view malformationName(Malformation m) {
    switch (m) {
        case Malformation::Short: return "short";
        case Malformation::OldVersion: return "old_version";
        case Malformation::LengthMismatch: return "length_mismatch";
        case Malformation::ForeignDestination: return "foreign_destination";
        case Malformation::NotReply: return "not_reply";
        case Malformation::BadCheck: return "bad_check";
        case Malformation::Oversize: return "oversize";
    }
    return "?";
}

std::optional<Malformation> malformationNamed(std::string_view name) {
    for (Malformation m : ALL_MALFORMATIONS)
        if (malformationName(m) == name) return m;
    return std::nullopt;
}

Bytes malform(const Bytes& reply, Malformation how, const Mac& station) {
    Bytes bytes = reply;
    switch (how) {
        case Malformation::Short:
            bytes.resize(29);
            break;
        case Malformation::OldVersion:
            writeU32(bytes, OFF_VERSION, 0x0000FFFF);
            break;
        case Malformation::LengthMismatch:
            writeU16(bytes, OFF_PAYLOAD_LENGTH, static_cast<std::uint16_t>(readU16(bytes, OFF_PAYLOAD_LENGTH) + 1));
            break;
        case Malformation::ForeignDestination: {
            Mac other = station;
            other[5] ^= 0x01;
            if (other == BROADCAST_MAC) other[5] ^= 0x02;
            std::copy(other.begin(), other.end(), bytes.begin() + OFF_DESTINATION);
            break;
        }
        case Malformation::NotReply:
            bytes[OFF_CODE] &= static_cast<std::uint8_t>(~REPLY_BIT);
            bytes[OFF_CODE_CHECK] = static_cast<std::uint8_t>(~bytes[OFF_CODE]);
            break;
        case Malformation::BadCheck:
            bytes[OFF_CODE_CHECK] ^= 0x01;
            break;
        case Malformation::Oversize:
            bytes.resize(MAX_DATAGRAM + 1, 0);
            writeU16(bytes, OFF_PAYLOAD_LENGTH, static_cast<std::uint16_t>(bytes.size() - HEADER_LENGTH));
            break;
    }
    return bytes;
}

std::string macText(const Mac& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::string hexText(std::span<const std::uint8_t> bytes) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text.push_back(DIGITS[b >> 4]);
        text.push_back(DIGITS[b & 0x0F]);
    }
    return text;
}

}  // namespace sim
