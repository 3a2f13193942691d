#pragma once

#include <cstdint>
#include <vector>

#include "ports/HostPort.h"

// This computer, as a test wants it.
class FakeHost : public HostPort {
public:
    bool FirstAdapterAddress(std::uint8_t (&mac)[6]) override;
    std::uint32_t LocalIpv4Address() override { return localAddress; }
    unsigned LocalTimeMilliseconds() override { return milliseconds; }
    void SeedRandom(unsigned seed) override;
    int NextRandom() override;

    bool hasAdapter = true;
    std::uint8_t adapter[6] = {0x00, 0x16, 0x3E, 0x12, 0x34, 0x56};
    std::uint32_t localAddress = 0xC0A80B02;  // 192.168.11.2
    unsigned milliseconds = 0;
    std::vector<unsigned> seeds;

private:
    std::uint32_t state_ = 1;
};
