// The password transform that the update requests carry, keyed by the router's key.
#pragma once

#include <array>
#include <cstdint>

namespace sim {

using PasswordBlock = std::array<std::uint8_t, 8>;

PasswordBlock scramblePassword(const PasswordBlock& password, std::uint32_t key);

}  // namespace sim
