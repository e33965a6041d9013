// Golay Sequential Code (GSC) as the decoder reads it from a 600 bit/s
// sample stream.
//
// Preamble, start code and addresses go at 300 bit/s: every bit fills two
// sample periods ("half-bits"), and only the later half is read; a pair of
// unequal halves is a "split". The data blocks go at the full 600 bit/s.
//
// Ages count back from the newest sample (age 0). A block of 121 samples:
//
//   ages 120..93   28 half-bits before the first word (not read)
//   ages  92..47   W1, bit j in ages 92-2j, 91-2j (read: 91-2j)
//   age       46   one half-bit between the words (not read)
//   ages  45..0    W2, bit j in ages 45-2j, 44-2j (read: 44-2j)
//
// Start code: W1 = 0x2032C9, W2 = its complement. Preamble: one of ten
// words, repeated, each compared over ages 45..0 in its doubled form.
// Address: W1 = one of fifty words (or its complement) giving the address
// code, W2 = 12 data bits (and their checks) giving the rest of the capcode.
//
// Data block: ages 119..0 are 120 samples n = 119 - age, interleaved over
// eight 15-bit words (bit n -> word n mod 8, position n div 8). Positions
// 0..6 of each word are data, 7..14 are not read. The 56 data bits
// d(7k + j) = bit j of word k read as twelve 4-bit digits (d(4m) lowest)
// or eight 6-bit characters (d(6m) lowest); d(48) says that another data
// block of the same page follows.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tolvane {

inline constexpr std::uint32_t kGscStartCode = 0x2032C9;
inline constexpr int kGscBlockBits = 121;
inline constexpr int kGscSearchBudget = 949;
inline constexpr int kGscMaxSplits = 3;
inline constexpr int kGscPlainPreambleTolerance = 3;
inline constexpr int kGscComplementPreambleTolerance = 1;
inline constexpr int kGscPlainBlocks = 1;
inline constexpr int kGscComplementBlocks = 16;
inline constexpr int kGscLockPreambles = 3;
inline constexpr int kGscMaxDataBlocks = 11;
inline constexpr int kGscContinuationBit = 48;

inline constexpr std::array<std::uint32_t, 10> kGscPreambleWords = {
    0x4037EE, 0x07E65C, 0x609C7E, 0x3F8287, 0x07A0BF, 0x039CF3, 0x0F079D, 0x20F9EC, 0x3F9618, 0x71191F,
};

// Index k -> the first word of address codes 2k (as is) and 2k + 1
// (complemented). Entry 11 is one bit off the codeword 0x26F2B8 and matches
// through the one-bit tolerance of the comparison.
inline constexpr std::array<std::uint32_t, 50> kGscAddressWords = {
    0x5532D1, 0x50CAAB, 0x55AB88, 0x36456B, 0x5B362A, 0x58A6AC, 0x48DA5A, 0x2D16D3, 0x576A14, 0x56D560,
    0x528A84, 0x2672B8, 0x5AE683, 0x2E2ED8, 0x2BADE0, 0x357D60, 0x38E568, 0x49AE0B, 0x26C36C, 0x2B9C34,
    0x5A08ED, 0x35BA30, 0x569383, 0x272E64, 0x564C39, 0x35E84C, 0x566507, 0x5B8A38, 0x24166F, 0x579C90,
    0x262177, 0x58F4D0, 0x4B7B08, 0x5A6730, 0x567198, 0x253C37, 0x221D3B, 0x4E8372, 0x4B8D8C, 0x2ECCC3,
    0x26E627, 0x2B1D87, 0x258C50, 0x226A0C, 0x2114E4, 0x2E8A20, 0x51A610, 0x248343, 0x24C5A0, 0x28B0A0,
};

// 4-bit digit values -> characters (10 and 12 are spaces).
inline constexpr std::string_view kGscNumericChars = "0123456789 U -)(";
// 6-bit character values -> characters; 32, 60 and 62 are spaces and 63
// (the last, shown here as a space) ends the block's text.
inline constexpr std::string_view kGscAlphaChars =
    " !\"#$%&'()*+,-./0123456789:;<=>? ABCDEFGHIJKLMNOPQRSTUVWXYZ[ ]  ";
inline constexpr int kGscAlphaEnd = 63;
static_assert(kGscNumericChars.size() == 16 && kGscAlphaChars.size() == 64);

// The newest 128 samples; bit a of the pair is the sample of age a.
class GscBitHistory {
public:
    void Push(int bit) {
        high_ = (high_ << 1) | (low_ >> 63);
        low_ = (low_ << 1) | (bit > 0 ? 1u : 0u);
    }
    int At(int age) const {
        return static_cast<int>((age < 64 ? low_ >> age : high_ >> (age - 64)) & 1u);
    }
    // Ages 0..63 in bits 0..63.
    std::uint64_t Newest64() const { return low_; }
    void Clear() { low_ = high_ = 0; }

private:
    std::uint64_t low_ = 0;   // ages 0..63
    std::uint64_t high_ = 0;  // ages 64..127
};

struct GscWordPair {
    std::uint32_t w1 = 0;
    std::uint32_t w2 = 0;
    int splits = 0;  // pairs of half-bits that differ, over both words
};

GscWordPair ExtractAddressWords(const GscBitHistory& history);

// Differing half-bits between ages 45..0 and preamble word i doubled, or
// its complement.
int PreambleDistance(const GscBitHistory& history, int index, bool complemented);

// Ages 45..0 holding the doubled form of a 23-bit word (bit 45 - 2j and
// 44 - 2j carry word bit j).
constexpr std::uint64_t DoubledWord(std::uint32_t word) {
    std::uint64_t v = 0;
    for (int j = 0; j < 23; ++j) {
        if ((word >> j) & 1u) v |= std::uint64_t{3} << (44 - 2 * j);
    }
    return v;
}

// Start code test on corrected words: both words within one bit in total.
bool IsStartCode(const GscWordPair& corrected);

// Address code 0..99 of a corrected word pair, or -1: 2k for table word k
// (only with at most three splits), 2k + 1 for its complement (any splits).
int FindAddressCode(const GscWordPair& corrected);

struct GscAddress {
    std::int32_t capcode = 0;   // 0..999999
    std::int32_t function = 0;  // 1..4
};

// Capcode and function of an address code, the corrected second word and the
// preamble index.
GscAddress GscCapcodeOf(int addressCode, std::uint32_t w2, int preambleIndex);

// The 56 data bits of the data block ending at age 0: d(i) in bit i.
std::uint64_t DeinterleaveBlock(const GscBitHistory& history);

// The twelve digits of a data block, into out (12 characters).
void DecodeNumericBlock(std::uint64_t data, char* out);
// Up to eight characters, stopping at value 63; returns how many.
int DecodeAlphaBlock(std::uint64_t data, char* out);

constexpr bool ContinuationFlag(std::uint64_t data) { return ((data >> kGscContinuationBit) & 1u) != 0; }

}  // namespace tolvane
