#include "decoders/gsc/golay.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <vector>

namespace tolvane {
namespace {

constexpr std::uint32_t kStartCode = 0x2032C9;

// Every error pattern of weight 0..3 within 23 bits.
std::vector<std::uint32_t> PatternsUpToWeight3() {
    std::vector<std::uint32_t> patterns{0};
    for (int a = 0; a < 23; ++a) {
        patterns.push_back(1u << a);
        for (int b = a + 1; b < 23; ++b) {
            patterns.push_back((1u << a) | (1u << b));
            for (int c = b + 1; c < 23; ++c) patterns.push_back((1u << a) | (1u << b) | (1u << c));
        }
    }
    return patterns;
}

TEST(GolayBits, RotationsWeightsAndCounts) {
    EXPECT_EQ(RotateLeft23(0x400000, 1), 1u);
    EXPECT_EQ(RotateRight23(1, 1), 0x400000u);
    EXPECT_EQ(RotateLeft23(0xFF800001, 0), 1u);  // high bits cleared even without rotation
    EXPECT_EQ(RotateRight23(0x123456, -4), 0x123456u);
    EXPECT_EQ(RotateRight23(RotateLeft23(0x5A5A5A, 7), 7), 0x5A5A5Au);
    EXPECT_EQ(RotateLeft23(0x2ABCDE, 23), 0x2ABCDEu);
    EXPECT_EQ(GolayWeight(0x7FF000), 11u);
    EXPECT_EQ(GolayWeight(0xFFFFFF), 24u);
    EXPECT_EQ(GolayWeight(0xFF000000), 0u);  // only the low 24 bits count
}

TEST(GolayCode, EncodedWordsFormThePerfectCyclicCode) {
    EXPECT_EQ(GolaySyndrome(kStartCode), 0u);
    EXPECT_EQ(GolayEncode(kStartCode & 0xFFF), kStartCode);
    // A check-bit-only error is its own syndrome.
    EXPECT_EQ(GolaySyndrome(0x401000), 0x401000u);

    std::array<int, 24> weightCount{};
    for (std::uint32_t data = 0; data < 4096; ++data) {
        const std::uint32_t c = GolayEncode(data);
        ASSERT_EQ(c & 0xFFF, data);
        ASSERT_EQ(GolaySyndrome(c), 0u) << data;
        ASSERT_EQ(GolaySyndrome(c ^ kGolayMask), 0u) << "complement of " << data;
        ASSERT_EQ(GolaySyndrome(RotateLeft23(c, static_cast<int>(data % 23))), 0u) << data;
        ++weightCount[static_cast<std::size_t>(std::popcount(c))];
    }
    // The weight distribution of the Golay(23,12) code: minimum distance 7.
    EXPECT_EQ(weightCount[0], 1);
    EXPECT_EQ(weightCount[7], 253);
    EXPECT_EQ(weightCount[8], 506);
    EXPECT_EQ(weightCount[11], 1288);
    EXPECT_EQ(weightCount[12], 1288);
    EXPECT_EQ(weightCount[23], 1);
    for (const int w : {1, 2, 3, 4, 5, 6}) EXPECT_EQ(weightCount[static_cast<std::size_t>(w)], 0);
}

TEST(GolayCorrect, SingleErrorInStartCode) {
    std::uint32_t count = 9;
    EXPECT_EQ(GolayCorrect(kStartCode, count), kStartCode);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(GolayCorrect(kStartCode ^ 0x8, count), kStartCode);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(GolayCorrectTrapping(kStartCode ^ 0x8, count), kStartCode);
    EXPECT_EQ(count, 1u);
}

// Every pattern of weight 0..3 on several codewords is corrected by both the
// table and the rotation search, with the same count; the counts follow the
// trapping rule (patterns not fitting 11 consecutive positions report one less).
class GolayPatterns : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(GolayPatterns, EveryPatternUpToThreeErrorsIsCorrected) {
    const std::uint32_t codeword = GetParam();
    ASSERT_EQ(GolaySyndrome(codeword), 0u);
    std::array<std::array<int, 4>, 4> histogram{};  // [weight][count]
    for (const std::uint32_t e : PatternsUpToWeight3()) {
        std::uint32_t fastCount = 99;
        std::uint32_t slowCount = 99;
        ASSERT_EQ(GolayCorrect(codeword ^ e, fastCount), codeword) << std::hex << e;
        ASSERT_EQ(GolayCorrectTrapping(codeword ^ e, slowCount), codeword) << std::hex << e;
        ASSERT_EQ(fastCount, slowCount) << std::hex << e;
        ASSERT_LE(fastCount, 3u);
        ++histogram[static_cast<std::size_t>(std::popcount(e))][fastCount];
    }
    EXPECT_EQ(histogram[0][0], 1);
    EXPECT_EQ(histogram[1][1], 23);
    EXPECT_EQ(histogram[2][2], 253 - 23);
    EXPECT_EQ(histogram[2][1], 23);
    EXPECT_EQ(histogram[3][3], 1771 - 736);
    EXPECT_EQ(histogram[3][2], 736);
}

std::string CodewordName(const ::testing::TestParamInfo<std::uint32_t>& info) {
    return "word_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Codewords, GolayPatterns,
                         ::testing::Values(0u, kStartCode, kStartCode ^ kGolayMask, kGolayMask, GolayEncode(0xABC),
                                           GolayEncode(0x001), GolayEncode(0x800)),
                         CodewordName);

TEST(GolaySyndrome, LookUpEqualsDivisionOnEveryWord) {
    std::uint32_t mismatches = 0;
    for (std::uint32_t w = 0; w <= kGolayMask; ++w) mismatches += GolaySyndrome(w) != GolaySyndromeByDivision(w);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(GolaySyndrome(0xFF800000u | kStartCode), 0u);  // bits 23..31 ignored
}

// The table replaces the rotation search: identical word and count for every
// one of the 2^23 inputs.
TEST(GolayCorrect, TableEqualsRotationSearchOnEveryWord) {
    std::uint32_t mismatches = 0;
    for (std::uint32_t w = 0; w <= kGolayMask; ++w) {
        std::uint32_t fastCount = 0;
        std::uint32_t slowCount = 0;
        const std::uint32_t fast = GolayCorrect(w, fastCount);
        const std::uint32_t slow = GolayCorrectTrapping(w, slowCount);
        if (fast != slow || fastCount != slowCount || GolaySyndrome(fast) != 0 || std::popcount(fast ^ w) > 3) {
            if (++mismatches < 5) ADD_FAILURE() << std::hex << "word " << w << ": " << fast << "/" << fastCount << " vs " << slow << "/" << slowCount;
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace
}  // namespace tolvane
