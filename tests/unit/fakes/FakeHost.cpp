#include "FakeHost.h"

#include <cstring>

bool FakeHost::FirstAdapterAddress(std::uint8_t (&mac)[6]) {
    if (!hasAdapter) return false;
    std::memcpy(mac, adapter, sizeof mac);
    return true;
}

void FakeHost::SeedRandom(unsigned seed) {
    seeds.push_back(seed);
    state_ = seed;
}

int FakeHost::NextRandom() {
    // The Microsoft C library's rand(), so that a test sees what msvcrt gives.
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
}
