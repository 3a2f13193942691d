#include "protocol/Protocol.h"

#include <algorithm>
#include <array>

#include "protocol/ByteCursor.h"

bool ReadHeader(std::span<const std::uint8_t> datagram, DatagramHeader& header) {
    if (datagram.size() < MIN_ACCEPTED_SIZE) return false;
    // Acceptance lets a 30- or 31-byte datagram through without the end of
    // `status`. The missing bytes read as 0xFF, so that a status which did
    // not arrive whole never reads as STATUS_OK.
    std::array<std::uint8_t, HEADER_SIZE> bytes;
    bytes.fill(0xFF);
    std::copy_n(datagram.begin(), std::min(datagram.size(), HEADER_SIZE), bytes.begin());

    ByteReader reader(bytes);
    header.headerLength = reader.U16();
    reader.Skip(2);  // reserved
    header.version = reader.U32();
    header.codeCheck = reader.U8();
    header.code = reader.U8();
    header.payloadLength = reader.U16();
    reader.Skip(4);  // reserved
    reader.Read(header.sourceAddress);
    reader.Read(header.destinationAddress);
    header.status = reader.U32();
    return true;
}

std::span<const std::uint8_t> PayloadOf(std::span<const std::uint8_t> datagram) {
    DatagramHeader header;
    if (!ReadHeader(datagram, header)) return {};
    ByteReader reader(datagram);
    reader.Skip(header.headerLength);
    return reader.Take(header.payloadLength);
}
