// BCH(31,21) with an even-parity bit: the 32-bit codeword of POCSAG and FLEX.
//
//   bit  0        20 21      30 31
//        iiiiiiiiiiiii cccccccccc p
//   i: 21 information bits (first received = most significant)
//   c: 10 check bits, remainder of the information bits times x^10 divided
//      by g(x) = x^10 + x^9 + x^8 + x^6 + x^5 + x^3 + 1
//   p: even parity over the 31 bits before it
//
// Up to two wrong bits anywhere in the 32 are counted and the information
// bits among them corrected; check and parity bits are never written back.
#pragma once

#include <array>
#include <cstdint>

namespace tolvane {

inline constexpr std::uint32_t kBchInformationMask = 0x1FFFFF;  // the 21 information bits

struct BchTables {
    std::array<std::uint16_t, 21> syndromeOfBit{};
    // count * 4096 + first * 32 + second; 31 = nothing to invert; 0 = no
    // pattern of at most two errors has this syndrome.
    std::array<std::uint32_t, 1024> correction{};
};

// Builds both tables; constexpr so that they are made once, at compile time.
constexpr BchTables BchInitTables() {
    BchTables t;
    std::uint32_t v = 0x3B4;
    for (int i = 0; i < 21; ++i) {
        t.syndromeOfBit[i] = static_cast<std::uint16_t>(v);
        if (v & 1) v ^= 0x768;
        v >>= 1;
    }
    for (int i = 0; i < 21; ++i)
        for (int j = 0; j < 21; ++j)
            t.correction[t.syndromeOfBit[i] ^ t.syndromeOfBit[j]] =
                2u * 4096 + static_cast<std::uint32_t>(j) * 32 + static_cast<std::uint32_t>(i);
    for (int i = 0; i < 21; ++i) t.correction[t.syndromeOfBit[i]] = 1u * 4096 + 31 * 32 + static_cast<std::uint32_t>(i);
    for (int i = 0; i < 21; ++i)
        for (int k = 0; k < 10; ++k)
            t.correction[t.syndromeOfBit[i] ^ (1u << k)] = 2u * 4096 + 31 * 32 + static_cast<std::uint32_t>(i);
    for (int k = 0; k < 10; ++k) t.correction[1u << k] = 1u * 4096 + 31 * 32 + 31;
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b)
            if (a != b) t.correction[(1u << a) ^ (1u << b)] = 2u * 4096 + 31 * 32 + 31;
    return t;
}

inline constexpr BchTables kBchTables = BchInitTables();

// One received codeword and its correction. CodewordBits holds '0'/'1'
// characters, index 0 first received; any other character counts as 0.
class Bch {
public:
    Bch() { CodewordBits.fill('0'); }

    // Corrects CodewordBits in place; returns how many of the 32 bits were
    // wrong (0, 1 or 2), or 3 = uncorrectable.
    int BchCorrect();

    // Loads a 32-bit codeword, most significant bit first (a convenience
    // for encoders and tests).
    void LoadCodeword(std::uint32_t codeword);
    std::uint32_t CodewordValue() const;

    std::array<char, 32> CodewordBits;
};

// Computes the 10 check bits and parity of 21 information bits (bit 20 =
// first sent); the full 32-bit codeword, as an encoder sends it.
std::uint32_t BchEncode(std::uint32_t information21);

}  // namespace tolvane
