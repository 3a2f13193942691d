// Facts about this computer: its adapter, its address, the time and a
// seedable pseudo-random generator.
#pragma once

#include <cstdint>

class HostPort {
public:
    virtual ~HostPort() = default;
    // The hardware address of the first LAN adapter (NetBIOS adapter status);
    // false when it cannot be had.
    virtual bool FirstAdapterAddress(std::uint8_t (&mac)[6]) = 0;
    // The first IPv4 address of the host's own name, first octet most
    // significant; 0 when it cannot be determined.
    virtual std::uint32_t LocalIpv4Address() = 0;
    // Milliseconds of the current local time, 0 to 999.
    virtual unsigned LocalTimeMilliseconds() = 0;
    virtual void SeedRandom(unsigned seed) = 0;
    virtual int NextRandom() = 0;
};
