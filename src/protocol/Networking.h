// This station's identity and the UDP endpoint.
#pragma once

#include <cstdint>

#include "Protocol.h"

class UdpPort;
class HostPort;

class Networking {
public:
    Networking(UdpPort& udp, HostPort& host);

    // Sets the StationIdentity (adapter address, or six pseudo-random bytes
    // seeded by the local time's milliseconds), starts the socket library and
    // opens the endpoint. 1 when the endpoint is ready.
    int InitNetworking();
    int OpenDiscoverySocket();
    // Closes the endpoint if open and ends the use of the socket library.
    void CloseNetworking();
    // The local IPv4 address (first octet most significant), or 0.
    std::uint32_t GetLocalAddress();

    const StationIdentity& Station() const { return station_; }
    UdpPort& Udp() { return udp_; }

private:
    UdpPort& udp_;
    HostPort& host_;
    StationIdentity station_ = {};
};
