// The Golay(23,12) code of GSC: the encoder gives the real code, and the
// table corrector equals the error-trapping search on every input.
#include "decoders/gsc/golay.h"

#include <gtest/gtest.h>

#include <bit>

namespace tolvane {
namespace {

constexpr std::uint32_t kStartCode = 0x2032C9;

// The tables replace the division and the rotation search: identical
// results for every one of the 2^23 inputs (bits above 23 ignored). The
// code being perfect, a codeword at most three bits away is the right one.
TEST(GolayCorrect, TablesEqualDivisionAndRotationSearchOnEveryWord) {
    EXPECT_EQ(GolayEncode(kStartCode & 0xFFF), kStartCode);  // the code GSC pagers use
    std::uint32_t mismatches = 0;
    for (std::uint32_t w = 0; w <= kGolayMask; ++w) {
        std::uint32_t fastCount = 0;
        std::uint32_t slowCount = 0;
        const std::uint32_t fast = GolayCorrect(w, fastCount);
        const std::uint32_t slow = GolayCorrectTrapping(w, slowCount);
        if (fast != slow || fastCount != slowCount || GolaySyndrome(fast) != 0 || std::popcount(fast ^ w) > 3 ||
            GolaySyndrome(w | 0xFF800000u) != GolaySyndromeByDivision(w)) {
            if (++mismatches < 5) ADD_FAILURE() << std::hex << "word " << w << ": " << fast << "/" << fastCount << " vs " << slow << "/" << slowCount;
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace
}  // namespace tolvane
