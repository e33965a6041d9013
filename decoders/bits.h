// Bit counts the decoders share: sync words and codewords are compared by
// the number of bits in which they differ.
#pragma once

#include <bit>
#include <cstdint>

namespace tolvane {

constexpr int CountBits(std::uint32_t value, std::uint32_t mask = 0xFFFFFFFFu) { return std::popcount(value & mask); }

constexpr int BitDistance(std::uint32_t a, std::uint32_t b, std::uint32_t mask = 0xFFFFFFFFu) {
    return std::popcount((a ^ b) & mask);
}

// The characters of numeric pages, indexed by their 4-bit code (POCSAG and
// FLEX share it).
inline constexpr char kNumericTable[] = "0123456789*U -)(";

}  // namespace tolvane
