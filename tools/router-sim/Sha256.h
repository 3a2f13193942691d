// SHA-256 of a received image, logged so that a test can check what arrived.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sim {

std::string sha256Hex(std::span<const std::uint8_t> data);

}  // namespace sim
