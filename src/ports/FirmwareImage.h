// The embedded firmware image: the executable's own resource bytes, used in
// place for the life of the process.
#pragma once

#include <cstdint>

struct FirmwareImage {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
};
