// The FLEX and ReFLEX air interface: the sync that opens every frame and the
// modes its code names. The decoder, the receiver's polarity watch and the
// generator's encoder all take them from here.
//
// A frame, at 1600 symbols/s and two levels until the data blocks:
//
//   bit sync     alternating bits
//   sync         64 bits, written as a receiver shifts them into four 16-bit
//                registers (a 1 there is a FLEX 0 bit), oldest first:
//                code | 0xA6C6 | 0xAAAA | ~code
//   16 symbols   comma (reversals)
//   32 symbols   frame information word (one codeword: bits 0..3
//                checksum, 4..7 cycle, 8..14 frame)
//   40 symbols   comma
//   11 blocks    at the mode's symbol rate; per phase a block holds eight
//                32-bit codewords, interleaved (bit k of codeword c is the
//                block's bit c + 8k)
//
// The code names the mode:
//
//   code    mode                 levels  data symbols/s  phases
//   0x870C  FLEX 1600 bit/s      2       1600            A
//   0x7B18  FLEX 3200 bit/s      2       3200            A C
//   0xB068  FLEX 3200 bit/s      4       1600            A B
//   0xDEA0  FLEX 6400 bit/s      4       3200            A B C D
//   0x4C7C  ReFLEX               4       3200            A B C D
//
// A 4-level symbol carries two phases' bits (high, low) as 0 = 00, 1 = 01,
// 2 = 11, 3 = 10; A and C ride on the high bit, B and D on the low one; at
// 3200 symbols/s even symbols carry A/B and odd ones C/D. Two levels send a
// 1 bit as symbol 3.
#pragma once

#include <array>
#include <cstdint>

namespace tolvane {

// The marker between the code and its complement, as the two middle
// registers hold it.
inline constexpr std::uint16_t kFlexMarkerHigh = 0xA6C6;
inline constexpr std::uint16_t kFlexMarkerLow = 0xAAAA;
inline constexpr std::uint32_t kFlexMarker = std::uint32_t{kFlexMarkerHigh} << 16 | kFlexMarkerLow;

struct FlexAirMode {
    std::uint16_t syncCode;
    int symbolRate;  // of the data blocks
    int levels;
    std::array<bool, 4> phases;  // A, B, C, D carried
    bool reflex;
};

inline constexpr FlexAirMode kFlexAir1600_2{0x870C, 1600, 2, {true, false, false, false}, false};
inline constexpr FlexAirMode kFlexAir3200_2{0x7B18, 3200, 2, {true, false, true, false}, false};
inline constexpr FlexAirMode kFlexAir3200_4{0xB068, 1600, 4, {true, true, false, false}, false};
inline constexpr FlexAirMode kFlexAir6400_4{0xDEA0, 3200, 4, {true, true, true, true}, false};
inline constexpr FlexAirMode kReflexAir{0x4C7C, 3200, 4, {true, true, true, true}, true};

// The fourth register: the code's complement.
constexpr std::uint16_t FlexSyncComplement(const FlexAirMode& mode) {
    return static_cast<std::uint16_t>(~mode.syncCode);
}

}  // namespace tolvane
