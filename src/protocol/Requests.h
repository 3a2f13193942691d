// The five requests, and the password scrambler the two update requests use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "Protocol.h"
#include "ports/FirmwareImage.h"

class UdpPort;

constexpr std::size_t MAX_REQUEST_SIZE = 56;

// The 8 bytes the update requests carry: the first 8 bytes of the password
// field, NUL and zeros after the text included, scrambled with the router's key.
void ScramblePassword(std::uint8_t (&out)[8], const std::uint8_t* password, std::uint32_t key);

struct RequestDatagram {
    std::array<std::uint8_t, MAX_REQUEST_SIZE> bytes = {};
    std::size_t length = 0;            // 0: nothing to send
    std::uint32_t destination = 0;     // IPv4, first octet most significant
};

// Builds the request `code` for `device` (which may be null only for
// REQ_DISCOVER). An unknown code, a missing device or REQ_UPDATE_EXT without
// its ExtUpdateValues give length 0.
RequestDatagram BuildRequest(std::uint8_t code, const DeviceRecord* device, const StationIdentity& station,
                             std::uint32_t imageSize);

class RequestSender {
public:
    RequestSender(UdpPort& udp, const StationIdentity& station, const FirmwareImage& image);
    // Builds the request afresh and sends it once to ROUTER_PORT.
    void SendRequest(std::uint8_t code, const DeviceRecord* device);

private:
    UdpPort& udp_;
    const StationIdentity& station_;
    const FirmwareImage& image_;
};
