#include "decoders/bits.h"
#include "decoders/bch/bch.h"

#include <bit>

namespace tolvane {

int Bch::BchCorrect() {
    const auto& t = kBchTables;
    std::uint32_t computed = 0;
    int parity = 0;
    for (int i = 0; i < 21; ++i) {
        if (CodewordBits[i] == '1') {
            computed ^= t.syndromeOfBit[i];
            parity ^= 1;
        }
    }
    std::uint32_t received = 0;
    for (int i = 21; i < 31; ++i) received = (received << 1) | (CodewordBits[i] == '1' ? 1u : 0u);

    const std::uint32_t syndrome = computed ^ received;
    int errors = 0;
    if (syndrome != 0) {
        const std::uint32_t entry = t.correction[syndrome];
        if (entry == 0) {
            errors = 3;
        } else {
            // The parity bit is checked against the corrected information
            // bits, so each inverted one flips their parity; a check-bit
            // error changes nothing here (the check bits are recomputed).
            for (const std::uint32_t position : {(entry >> 5) & 31u, entry & 31u}) {
                if (position == 31) continue;
                CodewordBits[position] = static_cast<char>(CodewordBits[position] ^ 1);
                computed ^= t.syndromeOfBit[position];
                parity ^= 1;
            }
            errors = static_cast<int>(entry >> 12);
        }
    }
    // A wrong parity bit is one more wrong bit; two corrected plus a parity
    // failure is three, beyond what this code corrects.
    const int expected = (CountBits(static_cast<std::uint32_t>(computed), 0x3FFu) + parity) & 1;
    if ((CodewordBits[31] == '1' ? 1 : 0) != expected) ++errors;
    return errors == 4 ? 3 : errors;
}

void Bch::LoadCodeword(std::uint32_t codeword) {
    for (int i = 0; i < 32; ++i) CodewordBits[i] = (codeword >> (31 - i)) & 1 ? '1' : '0';
}

std::uint32_t Bch::CodewordValue() const {
    std::uint32_t value = 0;
    for (int i = 0; i < 32; ++i) value = (value << 1) | (CodewordBits[i] == '1' ? 1u : 0u);
    return value;
}

std::uint32_t BchEncode(std::uint32_t information21) {
    information21 &= kBchInformationMask;
    std::uint32_t check = 0;
    for (int i = 0; i < 21; ++i)
        if ((information21 >> (20 - i)) & 1) check ^= kBchTables.syndromeOfBit[i];
    const std::uint32_t word31 = (information21 << 10) | check;
    const std::uint32_t parity = static_cast<std::uint32_t>(std::popcount(word31)) & 1u;
    return (word31 << 1) | parity;
}

}  // namespace tolvane
