// Golay(23,12): the code of the GSC start code and address words.
//
// A word sits in the low 23 bits of a u32, bit 0 sent first:
//
//   bit  0          11 12              22
//        dddddddddddd  ccccccccccc
//   d: 12 data bits
//   c: 11 check bits, the remainder of the data bits divided by the
//      generator 0xC75 (x^11 + x^10 + x^6 + x^5 + x^4 + x^2 + 1, bit 0 the
//      constant term), so that GolaySyndrome of a codeword is 0
//
// The code is cyclic (every rotation within 23 bits of a codeword is a
// codeword), the all-ones word is a codeword (so complements are too), and it
// is perfect: every 23-bit word lies within three bits of exactly one
// codeword.
#pragma once

#include <array>
#include <cstdint>

namespace tolvane {

inline constexpr std::uint32_t kGolayMask = 0x7FFFFF;
inline constexpr std::uint32_t kGolayCheckMask = 0x7FF000;
inline constexpr std::uint32_t kGolayGenerator = 0xC75;

// The 11-bit syndrome of the low 23 bits of w, in bits 12..22, by long
// division: twelve steps that clear the data bits with the generator. Because
// the check bits sit in bits 12..22, w XOR its syndrome is a codeword whenever
// all errors of w lie in the check bits.
constexpr std::uint32_t GolaySyndromeByDivision(std::uint32_t w) {
    std::uint32_t s = w & kGolayMask;
    for (int i = 0; i < 12; ++i) {
        if (s & 1u) s ^= kGolayGenerator;
        s >>= 1;
    }
    return s << 12;
}

namespace golay_detail {

// The division is linear and leaves check bits as they are, so the syndrome
// is the syndrome of the 12 data bits XOR the check bits.
struct DataSyndromes {
    std::array<std::uint32_t, 4096> of{};
};

constexpr DataSyndromes BuildDataSyndromes() {
    DataSyndromes t;
    for (std::uint32_t d = 0; d < 4096; ++d) t.of[d] = GolaySyndromeByDivision(d);
    return t;
}

inline constexpr DataSyndromes kDataSyndromes = BuildDataSyndromes();

}  // namespace golay_detail

// Same value as GolaySyndromeByDivision, by one table look-up.
constexpr std::uint32_t GolaySyndrome(std::uint32_t w) {
    return golay_detail::kDataSyndromes.of[w & 0xFFFu] ^ (w & kGolayCheckMask);
}

// Number of 1 bits in the low 24 bits, counted by nibbles.
constexpr std::uint32_t GolayWeight(std::uint32_t v) {
    constexpr std::array<std::uint8_t, 16> kNibbleWeight = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    std::uint32_t n = 0;
    for (int i = 0; i < 6; ++i) n += kNibbleWeight[(v >> (4 * i)) & 0xFu];
    return n;
}

// Cyclic rotation of the low 23 bits towards bit 22 / towards bit 0; bits
// 23..31 of the result are clear. n of 0 or less leaves the word as it is.
constexpr std::uint32_t RotateLeft23(std::uint32_t w, int n) {
    w &= kGolayMask;
    if (n <= 0) return w;
    n %= 23;
    return ((w << n) | (w >> (23 - n))) & kGolayMask;
}

constexpr std::uint32_t RotateRight23(std::uint32_t w, int n) {
    w &= kGolayMask;
    if (n <= 0) return w;
    n %= 23;
    return ((w >> n) | (w << (23 - n))) & kGolayMask;
}

// The codeword carrying 12 data bits.
constexpr std::uint32_t GolayEncode(std::uint32_t data12) {
    data12 &= 0xFFFu;
    return data12 | GolaySyndrome(data12);
}

// Nearest codeword of the low 23 bits of w. `count` is the number of
// positions the search corrected (0..3); an error pattern that does not fit
// into 11 cyclically consecutive positions is found with one bit inverted
// on trial, and that bit is not counted (so 23 two-bit patterns report 1 and
// 736 three-bit patterns report 2).
//
// The code is perfect, so each of the 2048 syndromes belongs to exactly one
// error pattern of weight 0..3; a table indexed by the syndrome gives the
// same result as the rotation search at a fraction of the cost.
std::uint32_t GolayCorrect(std::uint32_t w, std::uint32_t& count);
std::uint32_t GolayCorrect(std::uint32_t w);

// The rotation search itself: traps the syndrome over the 23 rotations, then
// retries with each bit inverted in turn. Kept as the reference the table is
// checked against; bits 23..31 of w pass through when w is a codeword.
std::uint32_t GolayCorrectTrapping(std::uint32_t w, std::uint32_t& count);

namespace golay_detail {

// Table entry: the error pattern in bits 0..22 and the reported count in
// bits 23..24.
struct SyndromeTable {
    std::array<std::uint32_t, 2048> entry{};
};

constexpr bool FitsTrappingWindow(std::uint32_t pattern) {
    for (int i = 0; i < 23; ++i)
        if ((RotateLeft23(pattern, i) & ~kGolayCheckMask) == 0) return true;
    return false;
}

constexpr void AddPattern(SyndromeTable& t, std::uint32_t pattern, std::uint32_t weight) {
    const std::uint32_t count = FitsTrappingWindow(pattern) ? weight : weight - 1;
    t.entry[GolaySyndrome(pattern) >> 12] = pattern | (count << 23);
}

constexpr SyndromeTable BuildSyndromeTable() {
    SyndromeTable t;
    for (std::uint32_t a = 0; a < 23; ++a) {
        AddPattern(t, 1u << a, 1);
        for (std::uint32_t b = a + 1; b < 23; ++b) {
            AddPattern(t, (1u << a) | (1u << b), 2);
            for (std::uint32_t c = b + 1; c < 23; ++c) AddPattern(t, (1u << a) | (1u << b) | (1u << c), 3);
        }
    }
    return t;
}

inline constexpr SyndromeTable kSyndromeTable = BuildSyndromeTable();

}  // namespace golay_detail

}  // namespace tolvane
