// BCH(31,21) with an even parity bit: what BchCorrect reports and writes
// back for every class of damage. The decoders act on the result: 3 marks
// the word's text as damaged, so nothing uncorrectable may report less.
#include "decoders/bch/bch.h"

#include <gtest/gtest.h>

#include <random>

namespace tolvane {
namespace {

struct Corrupted {
    int result;
    std::uint32_t buffer;
};

Corrupted CorrectWithFlips(std::uint32_t codeword, std::initializer_list<int> positions) {
    Bch bch;
    bch.LoadCodeword(codeword);
    for (const int p : positions) bch.CodewordBits[static_cast<std::size_t>(p)] ^= 1;
    const int result = bch.BchCorrect();
    return {result, bch.CodewordValue()};
}

TEST(BchCorrect, EncodedWordsAreValid) {
    std::mt19937 rng(7);
    std::vector<std::uint32_t> words = {0x7A89C197, 0x7CD215D8};  // idle and sync
    for (int i = 0; i < 200; ++i) words.push_back(BchEncode(rng() & 0x1FFFFF));
    for (const std::uint32_t word : words) {
        EXPECT_EQ(BchEncode(word >> 11), word);
        const Corrupted c = CorrectWithFlips(word, {});
        EXPECT_EQ(c.result, 0);
        EXPECT_EQ(c.buffer, word);
    }
    // Anything but '1' in the buffer (a lost signal) reads as 0.
    Bch bch;
    bch.LoadCodeword(words[0]);
    for (char& c : bch.CodewordBits)
        if (c == '0') c = 'X';
    EXPECT_EQ(bch.BchCorrect(), 0);
}

TEST(BchCorrect, ResultsForEveryErrorClass) {
    const std::uint32_t word = BchEncode(0x12345);
    struct Case {
        const char* what;
        std::initializer_list<int> flips;
        int result;
        bool restored;  // information bits written back
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        const Corrupted got = CorrectWithFlips(word, c.flips);
        EXPECT_EQ(got.result, c.result) << c.what;
        // Check-bit errors are counted but not written back.
        std::uint32_t expected = word;
        for (const int p : c.flips)
            if (p >= 21 || !c.restored) expected ^= 1u << (31 - p);
        EXPECT_EQ(got.buffer, expected) << c.what;
    }
}

TEST(BchCorrect, EverySingleAndDoubleInformationErrorIsRestored) {
    const std::uint32_t word = BchEncode(0x1C0DE5);
    for (int i = 0; i < 21; ++i) {
        for (int j = i; j < 21; ++j) {
            const Corrupted got = i == j ? CorrectWithFlips(word, {i}) : CorrectWithFlips(word, {i, j});
            ASSERT_EQ(got.buffer, word) << i << "," << j;
            ASSERT_EQ(got.result, i == j ? 1 : 2);
        }
    }
}

}  // namespace
}  // namespace tolvane
