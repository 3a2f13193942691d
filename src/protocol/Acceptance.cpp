#include "protocol/Acceptance.h"

#include "ports/UdpPort.h"

bool IsAcceptable(std::span<const std::uint8_t> datagram, const StationIdentity& station) {
    if (datagram.size() > MAX_DATAGRAM_SIZE) return false;
    DatagramHeader header;
    if (!ReadHeader(datagram, header)) return false;  // fewer than 30 bytes
    if (header.version < MIN_REPLY_VERSION) return false;
    // Added as full integers: two 16-bit lengths must not wrap into a match.
    if (datagram.size() != std::size_t{header.headerLength} + std::size_t{header.payloadLength}) return false;
    if (header.destinationAddress != station && header.destinationAddress != ALL_STATIONS) return false;
    if ((header.code & REPLY_BIT) == 0) return false;
    if (header.codeCheck != static_cast<std::uint8_t>(~header.code)) return false;
    return true;
}

int ReceiveDatagram(UdpPort& udp, const StationIdentity& station, std::uint8_t (&buffer)[MAX_DATAGRAM_SIZE]) {
    const int length = udp.Receive(buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) > sizeof buffer) return 0;
    return IsAcceptable({buffer, static_cast<std::size_t>(length)}, station) ? length : 0;
}
