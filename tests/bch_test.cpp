// BCH(31,21) with an even parity bit, swept over every pattern of up to
// three wrong bits among the 32. Up to two: BchCorrect returns how many bits
// were wrong and restores the information bits (check and parity bits are
// never written back). Three: always 3, even where the syndrome "corrects"
// the word onto another codeword, since the decoders pass anything below 3
// as good.
#include "decoders/bch/bch.h"

#include <bit>

#include <gtest/gtest.h>

namespace tolvane {
namespace {

constexpr std::uint32_t kCheckAndParityBits = 0x7FF;

class BchCorrectSweep : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(BchCorrectSweep, TrueCountUpToTwoWrongBitsUncorrectableAtThree) {
    const std::uint32_t sent = GetParam();
    std::vector<std::uint32_t> patterns{0};
    for (int a = 0; a < 32; ++a) {
        patterns.push_back(1u << a);
        for (int b = a + 1; b < 32; ++b) {
            patterns.push_back(1u << a | 1u << b);
            for (int c = b + 1; c < 32; ++c) patterns.push_back(1u << a | 1u << b | 1u << c);
        }
    }
    for (const std::uint32_t flips : patterns) {
        Bch bch;
        bch.LoadCodeword(sent ^ flips);
        const int wrong = std::popcount(flips);
        ASSERT_EQ(bch.BchCorrect(), std::min(wrong, 3)) << std::hex << "flips 0x" << flips;
        if (wrong < 3) {
            ASSERT_EQ(bch.CodewordValue(), sent ^ (flips & kCheckAndParityBits)) << std::hex << "flips 0x" << flips;
        }
    }
    // Anything but '1' in the buffer (a lost signal) reads as 0.
    Bch lost;
    lost.LoadCodeword(sent);
    for (char& c : lost.CodewordBits)
        if (c == '0') c = 'X';
    EXPECT_EQ(lost.BchCorrect(), 0);
    EXPECT_EQ(lost.CodewordValue(), sent);
}

// The POCSAG idle and sync words (fixed on the air, so they also check the
// tables independently of the encoder) and two encoded words.
INSTANTIATE_TEST_SUITE_P(Codewords, BchCorrectSweep,
                         ::testing::Values(0x7A89C197u, 0x7CD215D8u, BchEncode(0x12345), BchEncode(0x1FFFFF)));

}  // namespace
}  // namespace tolvane
