// This computer: its first LAN adapter through NetBIOS, its own address
// through the host name, the local time and the C library's generator.
#pragma once

#include "Win32Api.h"
#include "ports/HostPort.h"

class Win32HostPort : public HostPort {
public:
    bool FirstAdapterAddress(std::uint8_t (&mac)[6]) override;
    std::uint32_t LocalIpv4Address() override;
    unsigned LocalTimeMilliseconds() override;
    void SeedRandom(unsigned seed) override;
    int NextRandom() override;
};
