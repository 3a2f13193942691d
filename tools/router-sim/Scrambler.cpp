#include "Scrambler.h"

namespace sim {

PasswordBlock scramblePassword(const PasswordBlock& password, std::uint32_t key) {
    std::array<std::uint8_t, 8> w{};
    for (int i = 0; i < 4; ++i) w[i] = static_cast<std::uint8_t>(key >> (8 * i));
    for (int i = 0; i < 4; ++i) w[4 + i] = static_cast<std::uint8_t>(w[i] * (w[i] ^ w[3 - i]));

    PasswordBlock out{};
    for (int i = 0; i < 4; ++i) {
        w[0] ^= password[2 * i];
        for (int j = 2; j <= 2 * i; j += 2) w[j] ^= w[j - 2];
        out[i] = w[2 * i];

        w[1] ^= password[2 * i + 1];
        for (int j = 3; j <= 2 * i + 1; j += 2) w[j] ^= w[j - 2];
        out[7 - i] = w[2 * i + 1];
    }
    return out;
}

}  // namespace sim
