#include "protocol/Networking.h"

#include <algorithm>

#include "ports/HostPort.h"
#include "ports/UdpPort.h"

Networking::Networking(UdpPort& udp, HostPort& host) : udp_(udp), host_(host) {}

int Networking::InitNetworking() {
    std::uint8_t adapter[6];
    if (host_.FirstAdapterAddress(adapter)) {
        std::copy(std::begin(adapter), std::end(adapter), station_.begin());
    } else {
        // Seeded by the milliseconds of the local time, so at most 1000
        // different fallback addresses can occur.
        host_.SeedRandom(host_.LocalTimeMilliseconds());
        for (std::uint8_t& b : station_) b = static_cast<std::uint8_t>(host_.NextRandom() & 0xFF);
    }
    if (!udp_.StartSocketLibrary()) return 0;
    return OpenDiscoverySocket();
}

int Networking::OpenDiscoverySocket() {
    if (!udp_.Open()) return 0;
    // Refused broadcasts leave the socket open until CloseNetworking.
    if (!udp_.AllowBroadcast()) return 0;
    udp_.BindAnyAddress();
    return 1;
}

void Networking::CloseNetworking() {
    if (udp_.IsOpen()) udp_.Close();
    udp_.StopSocketLibrary();
}

std::uint32_t Networking::GetLocalAddress() { return host_.LocalIpv4Address(); }
