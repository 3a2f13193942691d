#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "protocol/Requests.h"

namespace {

using Eight = std::array<std::uint8_t, 8>;

Eight Scramble(const Eight& password, std::uint32_t key) {
    std::uint8_t out[8];
    ScramblePassword(out, password.data(), key);
    Eight result;
    std::copy(std::begin(out), std::end(out), result.begin());
    return result;
}

Eight Field(const char (&text)[9]) {
    Eight p;
    std::copy(text, text + 8, p.begin());
    return p;
}

TEST(ScramblePassword, VectorsWorkedByHand) {
    // key 0x12345678, password "pass1234" (no NUL among the 8 bytes)
    //   W[0..3] = 78 56 34 12                 key, least significant byte first
    //   W[4] = 78 * (78^12 = 6A) = 31B0 -> B0
    //   W[5] = 56 * (56^34 = 62) = 20EC -> EC
    //   W[6] = 34 * (34^56 = 62) = 13E8 -> E8
    //   W[7] = 12 * (12^78 = 6A) = 0774 -> 74
    //   pass 0  W0 = 78^70'p' = 08                                      out[0] = 08
    //           W1 = 56^61'a' = 37                                      out[7] = 37
    //   pass 1  W0 = 08^73's' = 7B  W2 = 34^7B = 4F                     out[1] = 4F
    //           W1 = 37^73's' = 44  W3 = 12^44 = 56                     out[6] = 56
    //   pass 2  W0 = 7B^31'1' = 4A  W2 = 4F^4A = 05  W4 = B0^05 = B5    out[2] = B5
    //           W1 = 44^32'2' = 76  W3 = 56^76 = 20  W5 = EC^20 = CC    out[5] = CC
    //   pass 3  W0 = 4A^33'3' = 79  W2 = 05^79 = 7C  W4 = B5^7C = C9  W6 = E8^C9 = 21   out[3] = 21
    //           W1 = 76^34'4' = 42  W3 = 20^42 = 62  W5 = CC^62 = AE  W7 = 74^AE = DA   out[4] = DA
    EXPECT_EQ(Scramble(Field("pass1234"), 0x12345678), (Eight{0x08, 0x4F, 0xB5, 0x21, 0xDA, 0xCC, 0x56, 0x37}));

    // key 0xFF80C3A5, field "xyz" NUL "EFGH": three new characters over an
    // older eight-character entry. High bytes check the products' low 8 bits.
    //   W[0..3] = A5 C3 80 FF
    //   W[4] = A5 * (A5^FF = 5A) = 3A02 -> 02
    //   W[5] = C3 * (C3^80 = 43) = 3309 -> 09
    //   W[6] = 80 * (80^C3 = 43) = 2180 -> 80
    //   W[7] = FF * (FF^A5 = 5A) = 59A6 -> A6
    //   pass 0  W0 = A5^78'x' = DD                                      out[0] = DD
    //           W1 = C3^79'y' = BA                                      out[7] = BA
    //   pass 1  W0 = DD^7A'z' = A7  W2 = 80^A7 = 27                     out[1] = 27
    //           W1 = BA^00    = BA  W3 = FF^BA = 45                     out[6] = 45
    //   pass 2  W0 = A7^45'E' = E2  W2 = 27^E2 = C5  W4 = 02^C5 = C7    out[2] = C7
    //           W1 = BA^46'F' = FC  W3 = 45^FC = B9  W5 = 09^B9 = B0    out[5] = B0
    //   pass 3  W0 = E2^47'G' = A5  W2 = C5^A5 = 60  W4 = C7^60 = A7  W6 = 80^A7 = 27   out[3] = 27
    //           W1 = FC^48'H' = B4  W3 = B9^B4 = 0D  W5 = B0^0D = BD  W7 = A6^BD = 1B   out[4] = 1B
    EXPECT_EQ(Scramble(Field("xyz\0EFGH"), 0xFF80C3A5), (Eight{0xDD, 0x27, 0xC7, 0x27, 0x1B, 0xB0, 0x45, 0xBA}));

    EXPECT_EQ(Scramble(Eight{}, 0), Eight{}) << "zero key and zero password give zeros";
}

TEST(ScramblePassword, EvenPositionsFeedTheFirstHalfAndOddPositionsTheSecond) {
    // Output i (0..3) depends on even positions 0..2i only, output 7-i on odd
    // positions 1..2i+1 only; changing a position always changes its own output.
    for (std::uint32_t key : {0u, 0x12345678u, 0xFF80C3A5u, 0xFFFFFFFFu}) {
        const Eight base = Field("pass1234");
        const Eight before = Scramble(base, key);
        for (int k = 0; k < 8; ++k) {
            for (std::uint8_t delta : {0x01, 0x80, 0xFF}) {
                Eight changed = base;
                changed[k] ^= delta;
                const Eight after = Scramble(changed, key);
                const int m = k / 2;
                for (int out = 0; out < 8; ++out) {
                    const bool mayChange = (k % 2 == 0) ? (out < 4 && out >= m) : (out >= 4 && out <= 7 - m);
                    if (!mayChange) {
                        EXPECT_EQ(after[out], before[out]) << "key " << std::hex << key << " position " << k << " out " << out;
                    }
                }
                const int own = (k % 2 == 0) ? m : 7 - m;
                EXPECT_NE(after[own], before[own]) << "key " << std::hex << key << " position " << k;
            }
        }
    }
}

TEST(ScramblePassword, IsOneToOneForAFixedKey) {
    // Every pair of positions run through all 65536 values, the other six
    // held: no two fields give the same output.
    for (std::uint32_t key : {0x12345678u, 0xFF80C3A5u}) {
        for (int k = 0; k < 8; ++k) {
            for (int l = k + 1; l < 8; ++l) {
                std::vector<std::uint64_t> outputs;
                outputs.reserve(65536);
                Eight p = Field("pass1234");
                for (int v = 0; v < 65536; ++v) {
                    p[k] = static_cast<std::uint8_t>(v);
                    p[l] = static_cast<std::uint8_t>(v >> 8);
                    const Eight o = Scramble(p, key);
                    std::uint64_t packed = 0;
                    for (std::uint8_t b : o) packed = packed << 8 | b;
                    outputs.push_back(packed);
                }
                std::sort(outputs.begin(), outputs.end());
                EXPECT_EQ(std::adjacent_find(outputs.begin(), outputs.end()), outputs.end())
                    << "key " << std::hex << key << " positions " << k << ", " << l;
            }
        }
    }
}

}  // namespace
