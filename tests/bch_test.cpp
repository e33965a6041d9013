#include "decoders/bch/bch.h"

#include <gtest/gtest.h>

#include <random>

namespace tolvane {
namespace {

constexpr std::uint32_t kIdle = 0x7A89C197;
constexpr std::uint32_t kSync = 0x7CD215D8;

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

TEST(BchTables, SyndromeRecurrenceGivesTheRemainders) {
    EXPECT_EQ(kBchTables.syndromeOfBit[0], 0x3B4);
    EXPECT_EQ(kBchTables.syndromeOfBit[1], 0x1DA);
    EXPECT_EQ(kBchTables.syndromeOfBit[2], 0x0ED);
    EXPECT_EQ(kBchTables.syndromeOfBit[3], 0x3C2);
    EXPECT_EQ(kBchTables.syndromeOfBit[4], 0x1E1);
    EXPECT_EQ(kBchTables.syndromeOfBit[20], 0x369);
}

TEST(BchCorrect, IdleSyncAndEncodedWordsAreValid) {
    EXPECT_EQ(CorrectWithFlips(kIdle, {}).result, 0);
    EXPECT_EQ(CorrectWithFlips(kSync, {}).result, 0);
    EXPECT_EQ(BchEncode(kIdle >> 11), kIdle);
    EXPECT_EQ(BchEncode(kSync >> 11), kSync);
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        const std::uint32_t word = BchEncode(rng() & 0x1FFFFF);
        const Corrupted c = CorrectWithFlips(word, {});
        EXPECT_EQ(c.result, 0);
        EXPECT_EQ(c.buffer, word);
    }
}

TEST(BchCorrect, ResultsForEveryErrorClass) {
    const std::uint32_t word = BchEncode(0x12345);
    struct Case {
        const char* what;
        std::initializer_list<int> flips;
        int result;
        bool restored;
    };
    const Case cases[] = {
        {"one information bit", {5}, 1, true},
        {"parity bit only", {31}, 1, true},
        {"two information bits", {0, 20}, 2, true},
        {"information bit and parity", {7, 31}, 2, true},
        {"one check bit", {25}, 2, true},
        {"two check bits", {21, 30}, 2, true},
        {"check bit and parity", {22, 31}, 1, true},
    };
    for (const Case& c : cases) {
        const Corrupted got = CorrectWithFlips(word, c.flips);
        EXPECT_EQ(got.result, c.result) << c.what;
        // Check-bit errors are counted but not written back.
        std::uint32_t expected = word;
        for (const int p : c.flips)
            if (p >= 21) expected ^= 1u << (31 - p);
        EXPECT_EQ(got.buffer, expected) << c.what;
    }
}

TEST(BchCorrect, InformationAndCheckBitIsUncorrectableButRestored) {
    const std::uint32_t word = BchEncode(0x0ABCDE);
    const Corrupted got = CorrectWithFlips(word, {3, 24});
    EXPECT_EQ(got.result, 3);
    EXPECT_EQ(got.buffer >> 11, word >> 11);  // information bits restored
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

TEST(BchCorrect, ThreeErrorsAreMostlyUncorrectable) {
    const std::uint32_t word = BchEncode(0x055AA5);
    int uncorrectable = 0;
    int miscorrected = 0;
    for (int a = 0; a < 31; ++a)
        for (int b = a + 1; b < 31; ++b)
            for (int c = b + 1; c < 31; ++c) {
                const Corrupted got = CorrectWithFlips(word, {a, b, c});
                if (got.result == 3) {
                    ++uncorrectable;
                } else {
                    ++miscorrected;
                    EXPECT_NE(got.buffer >> 11, word >> 11);
                }
            }
    EXPECT_GT(uncorrectable, miscorrected);
    EXPECT_GT(miscorrected, 0);
}

TEST(BchCorrect, NonBinaryCharactersCountAsZero) {
    Bch bch;
    bch.LoadCodeword(kIdle);
    for (char& c : bch.CodewordBits)
        if (c == '0') c = 'X';
    EXPECT_EQ(bch.BchCorrect(), 0);
}

}  // namespace
}  // namespace tolvane
