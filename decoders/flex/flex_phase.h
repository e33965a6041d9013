// One FLEX phase as the decoder keeps it, and the word-level rules shared by
// block decoding and page writing.
//
// A FLEX information word is the 21 information bits of one BCH(31,21)
// codeword as a number whose bit 0 is the first bit sent, in FLEX polarity
// (the receiver stores the complement; it is undone when a word is read
// out). A word whose correction failed carries kFlexUncorrectable on top; a
// word "corrected" in a block too damaged to trust that carries kFlexSuspect.
// Anything at or above kFlexSuspect is shown as a bit error.
//
// Words of a frame, per phase (index = block * 8 + codeword, 0..87):
//
//   [0]                block information word (BIW)
//                        bits 0..3 checksum, 8..9 further BIWs,
//                        10..15 start of the vector field
//   [1 .. further]     the further BIWs (not decoded)
//   [address field]    one word per short address, two per long one
//   [vector field]     one vector word per address word, in the same order
//   [message words]    named by the vectors (start, length)
#pragma once

#include <array>
#include <cstdint>

namespace tolvane {

inline constexpr int kFlexBlocksPerFrame = 11;
inline constexpr int kFlexCodewordsPerBlock = 8;
inline constexpr int kFlexFrameWords = kFlexBlocksPerFrame * kFlexCodewordsPerBlock;  // 88
inline constexpr int kFlexBlockSymbols = 256;
// Room for every word index a vector can name without running off the end
// of the frame; the entries past the frame stay 0.
inline constexpr int kFlexPhaseWords = 200;

// Vector types (bits 4..6 of a vector word).
enum FlexVectorType : int {
    kFlexSecure = 0,
    kFlexInstruction = 1,
    kFlexShortMessage = 2,
    kFlexStandardNumeric = 3,
    kFlexSpecialNumeric = 4,
    kFlexAlphanumeric = 5,
    kFlexBinary = 6,
    kFlexNumberedNumeric = 7,
};

inline constexpr std::int32_t kFlexWordMask = 0x1FFFFF;
inline constexpr std::int32_t kFlexUncorrectable = 0x400000;
inline constexpr std::int32_t kFlexSuspect = 0x200000;

// Group calls: a short instruction vector of kind 0 (bits 7..9) tells the
// pager at its address to listen, in the frame of bits 10..16, to the
// temporary address of bits 17..20: one of 16 short addresses (capcodes
// 2029568..2029583) that the message to the whole group is then sent to.
inline constexpr int kFlexGroups = 16;
inline constexpr std::int32_t kFlexFirstGroupWord = 0x1F7800;  // capcode 2029568 + 0x8000
// Pagers kept per group; a real network assigns a few.
inline constexpr int kFlexGroupMembers = 32;

struct FlexGroupMember {
    std::int32_t w1 = 0;
    std::int32_t w2 = 0;  // second address word of a long address
    bool isLong = false;
    int frame = 0;        // the frame the group message comes in
};

struct FlexGroup {
    std::array<FlexGroupMember, kFlexGroupMembers> members{};
    int count = 0;
};

struct FlexPhase {
    std::array<char, 300> symbols{};  // bit characters of the block being collected; 256 used
    std::array<std::int32_t, kFlexPhaseWords> words{};
    char letter = '?';
    // Pagers assigned to each temporary address of this phase, until their
    // frame has come.
    std::array<FlexGroup, kFlexGroups> groups{};

    // A message word by index. Vectors may name indices up to 253: those
    // beyond the array read as 0, like the unused words behind the frame.
    std::int32_t Word(int index) const {
        return index >= 0 && index < kFlexPhaseWords ? words[static_cast<std::size_t>(index)] : 0;
    }
};

// True when the word failed correction or its five nibbles plus bit 20 do
// not add up to 15 modulo 16. A suspect word's checksum still counts: it
// guards block information and vector words well enough.
constexpr bool FlexWordInvalid(std::int32_t word) {
    if (word >= kFlexUncorrectable) return true;
    const auto w = static_cast<std::uint32_t>(word);
    const std::uint32_t sum = w + (w >> 4) + (w >> 8) + (w >> 12) + (w >> 16) + ((w >> 20) & 1u);
    return (sum & 15u) != 15u;
}

// Long addresses take two address words; the first word's value tells.
constexpr bool FlexLongAddress(std::int32_t addressWord) {
    const std::int32_t a = addressWord & kFlexWordMask;
    return a <= 0x8000 || (a >= 0x1E0001 && a <= 0x1F0000) || a >= 0x1F7FFF;
}

}  // namespace tolvane
