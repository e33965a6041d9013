// BCH(31,21) with an even parity bit: what BchCorrect reports and writes
// back for every class of damage. The decoders act on the result: 3 marks
// the word's text as damaged, so nothing uncorrectable may report less.
#include "decoders/bch/bch.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(BchCorrect, ResultAndWrittenBackWordForEveryErrorClass) {
    const std::uint32_t word = BchEncode(0x12345);
    struct Case {
        const char* what;
        std::vector<int> flips;
        int result;
        bool restored;  // information bits written back
    };
    const Case cases[] = {
        {"clean", {}, 0, true},
        {"one information bit", {5}, 1, true},
        {"parity bit only", {31}, 1, true},
        {"two information bits", {0, 20}, 2, true},
        {"information bit and parity", {7, 31}, 2, true},
        {"one check bit", {25}, 2, true},
        {"two check bits", {21, 30}, 2, true},
        {"check bit and parity", {22, 31}, 1, true},
        {"information and check bit", {3, 24}, 3, true},
        // No pattern of two fits the syndrome: uncorrectable, whether the
        // parity then fails too (three flips) or holds (four).
        {"three information bits", {0, 1, 2}, 3, false},
        {"three information bits and parity", {0, 1, 2, 31}, 3, false},
    };
    std::vector<Case> every(std::begin(cases), std::end(cases));
    // Every single and double information-bit error, on another word.
    const std::uint32_t other = BchEncode(0x1C0DE5);
    for (int i = 0; i < 21; ++i)
        for (int j = i; j < 21; ++j)
            every.push_back({"information bits", i == j ? std::vector<int>{i} : std::vector<int>{i, j}, i == j ? 1 : 2, true});
    for (std::size_t n = 0; n < every.size(); ++n) {
        const Case& c = every[n];
        const std::uint32_t sent = n < std::size(cases) ? word : other;
        Bch bch;
        bch.LoadCodeword(sent);
        for (const int p : c.flips) bch.CodewordBits[static_cast<std::size_t>(p)] ^= 1;
        EXPECT_EQ(bch.BchCorrect(), c.result) << c.what << " " << ::testing::PrintToString(c.flips);
        // Check-bit errors are counted but not written back.
        std::uint32_t expected = sent;
        for (const int p : c.flips)
            if (p >= 21 || !c.restored) expected ^= 1u << (31 - p);
        EXPECT_EQ(bch.CodewordValue(), expected) << c.what << " " << ::testing::PrintToString(c.flips);
    }
    // Anything but '1' in the buffer (a lost signal) reads as 0.
    Bch lost;
    lost.LoadCodeword(word);
    for (char& c : lost.CodewordBits)
        if (c == '0') c = 'X';
    EXPECT_EQ(lost.BchCorrect(), 0);
}

}  // namespace
}  // namespace tolvane
