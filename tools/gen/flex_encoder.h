// FLEX and ReFLEX encoder for the test-signal generator.
//
// The FLEX frame, as this encoder builds it (1.875 s with the usual 32-bit
// bit sync):
//
// - Bit sync, sync, comma, frame information word and comma at 1600
//   symbols/s and two levels, then 11 blocks at the mode's symbol rate, as
//   air/flex_air.h lays them out.
//
// Codewords are BCH(31,21) plus even parity over a 21-bit FLEX word whose
// bit 0 is sent first. Per phase the 88 words of a frame are: the block
// information word (checksum, number of further BIWs in bits 8..9, vector
// field start in bits 10..15), the further BIWs, the address field (short
// address: one word, capcode + 0x8000; long address: two words), the vector
// field (one word per address word; a long address's second vector word
// carries message data) and the message words. Unused words alternate
// between 0x1FFFFF and 0 so that the line keeps changing.
//
// Vector types and their contents:
//   0 secure, 5 alphanumeric: header word (continuation in bit 10,
//     fragment in bits 11..12, message number in bits 13..18) and 7-bit
//     characters three to a word; a first fragment (3) begins with a
//     signature character; unused characters are 3. A text too long for
//     one frame is sent as transmitters send it: the first fragment fills
//     the room left in the frame, each further one (0, 1, 2, 0, ...) goes
//     into the next frame, all but the last with the continuation bit.
//   1 short instruction: vector only; kind 0 (bits 7..9) assigns the pager
//     the temporary address of bits 17..20 for the frame of bits 10..16.
//     A group call is such an assignment to each pager, then the message
//     to that temporary address (short address 0x1F7800 + 0..15) in the
//     frame named.
//   2 short message: three 4-bit digits in the vector (and five more in the
//     second vector word of a long address), or a tone when bits 7..8 are
//     not 0.
//   3 standard, 4 special, 7 numbered numeric: a continuous stream of 4-bit
//     digits, least significant bit first, after a 2-bit (10-bit for type 7)
//     prefix; the rest is filled with spaces (digit 12).
//   6 binary: header word, then 4-bit hex digits, least significant bit
//     first; the rest is zero.
// For a long address, the header (or the first numeric word) travels in the
// second vector word.
//
// Some transmitters open a transmission with a lead-in of resynchronisation
// cycles: 32 bits of bit sync and a sync whose code is none of the five
// above, repeated, then the first frame.
//
// ReFLEX frames are written as the receiver dumps them: phase A word 0 is a
// head word, and the page texts follow as 7-bit characters, three to a word,
// spread over the phases A, B, C, D in turn from word 1 on.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "air/flex_air.h"
#include "decoders/flex/flex_phase.h"
#include "tools/gen/page_description.h"
#include "tools/gen/symbol_stream.h"

namespace tolvane::gen {

enum class FlexMode { Flex1600_2, Flex3200_2, Flex3200_4, Flex6400_4, Reflex };

struct FlexModeInfo : FlexAirMode {
    FlexMode mode;
    const char* name;  // "1600/2", "3200/2", "3200/4", "6400/4", "reflex"
};

const FlexModeInfo& FlexModeInfoOf(FlexMode mode);
bool ParseFlexMode(std::string_view text, FlexMode& mode);


inline constexpr int kFlexPreambleBits = 32;
inline constexpr int kFlexWordsPerPhase = 88;
inline constexpr std::uint32_t kFlexMaxShortCapcode = 0x1EF7FE;

struct FlexPage {
    // Short: 1..0x1D8000 or 0x1E8001..0x1EF7FE. Long: the 32-bit value the
    // receiver computes from the two address words (any value; one at or
    // above 2^31 comes out negative there).
    std::uint32_t capcode = 1;
    bool longAddress = false;
    int type = kFlexAlphanumeric;
    // Text (types 0, 5), digits from "0123456789*U -)(" (types 2, 3, 4, 7),
    // hex digits (type 6).
    std::string content;
    int phase = -1;      // 0..3; -1 = by capcode bits 2..3, folded onto the mode's phases
    int fragment = 3;    // types 0, 5, 6
    bool tone = false;   // type 2: a tone page without digits
    // Type 1 (temporary address assignment): the pager is to listen in
    // frame `assignFrame` to temporary address `group` (0..15).
    int assignFrame = 0;
    int group = 0;
    // >= 0: the page goes to this temporary address instead of `capcode`.
    int temporaryAddress = -1;
    // Types 0, 5: more fragments of the message follow (C), and the
    // message's number for its pager (N, 0..63).
    bool more = false;
    int messageNumber = 0;
    // A first fragment's signature covers the whole message: its text.
    std::string wholeMessage = {};
};

struct FlexFrame {
    FlexMode mode = FlexMode::Flex1600_2;
    int cycle = 0;  // 0..15
    int frame = 0;  // 0..127
    int extraBiws = 0;  // 0..3 further block information words
    std::vector<FlexPage> pages;
};

using FlexPhaseWords = std::array<std::uint32_t, kFlexWordsPerPhase>;

// The 21-bit words of one frame.
struct FlexFrameWords {
    FlexMode mode = FlexMode::Flex1600_2;
    std::uint16_t syncCode = 0;
    std::uint32_t frameInfo = 0;
    std::array<FlexPhaseWords, 4> phases{};
};

// The same frame as 32-bit codewords (bit 31 sent first), for damage.
struct FlexFrameCodewords {
    FlexMode mode = FlexMode::Flex1600_2;
    std::uint16_t syncCode = 0;
    std::uint16_t syncComplement = 0;  // normally ~syncCode
    std::uint32_t frameInfo = 0;
    std::array<FlexPhaseWords, 4> phases{};
};

// Sets bits 0..3 so that the five nibbles and bit 20 add up to 15 modulo 16.
std::uint32_t FlexWithChecksum(std::uint32_t word);
std::uint32_t FlexFrameInfoWord(int cycle, int frame);
bool FlexShortAddressWord(std::uint32_t capcode, std::uint32_t& word);
void FlexLongAddressWords(std::uint32_t capcode, std::uint32_t& first, std::uint32_t& second);
// The codeword of a 21-bit FLEX word (bit 0 sent first); bit 31 is sent first.
std::uint32_t FlexCodeword(std::uint32_t word);
// The phase a page goes to in a mode.
int FlexPagePhase(const FlexPage& page, FlexMode mode);

// Lays the pages out over the phases of one frame. False with a reason when
// a page cannot be encoded or a phase overflows its 88 words.
bool BuildFlexFrameWords(const FlexFrame& frame, FlexFrameWords& out, std::string& error);
FlexFrameCodewords EncodeFlexCodewords(const FlexFrameWords& words);
// Appends bit sync, sync, frame information and the 11 blocks.
void AppendFlexFrame(SymbolStream& out, const FlexFrameCodewords& frame, int preambleBits = kFlexPreambleBits);
// `cycles` resynchronisation cycles of bit sync and a sync with `code`.
void AppendFlexLeadIn(SymbolStream& out, int cycles, std::uint16_t code);
// All three steps.
bool AppendFlexFrame(SymbolStream& out, const FlexFrame& frame, std::string& error);

// Flips three check bits of a codeword so that the receiver gives up on it
// while its information bits stay as they were.
std::uint32_t MakeFlexUncorrectable(std::uint32_t codeword, std::mt19937& rng);

// For tolvane-gen: pages of one mode in, frames out (as many as the pages
// need, numbered from frame 0 of cycle 0).
inline constexpr const char kFlexUsage[] =
    "flex:MODE:CAPCODE:FUNCTION:KIND:TEXT   MODE 1600/2, 3200/2, 3200/4, 6400/4 or reflex\n"
    "    (4-level modes want --levels 4). CAPCODE up to 7 digits: short address 1..1933312 or\n"
    "    1998849..2031614; 8 to 10 digits: long address (2068481 and up; 2^31 and up shows as ?).\n"
    "    The phase follows capcode bits 2..3 (A..D), folded onto the phases the mode carries.\n"
    "    KIND/FUNCTION pick the vector: alpha 0 = alphanumeric, 1 = secure; numeric 0 = standard,\n"
    "    1 = special format, 2 = numbered; tone 0 = short message (TEXT: up to 3 digits, 8 for a\n"
    "    long address; empty = tone only), 1 = short instruction; binary 0 = hex digits in TEXT.\n"
    "    CAPCODE+CAPCODE... sends a group call: each pager is assigned a temporary address in\n"
    "    one frame, and the page goes to that address in the next.\n"
    "    An alpha text longer than one frame holds is sent in fragments: the first fills the\n"
    "    room left in the frame, the others follow in the next frames, as transmitters do.\n"
    "    reflex sends the texts raw. --error-words numbers codewords frame*352 + phase*88 + word\n"
    "    (phase A = 0 .. D = 3, word 0..87 = block*8 + codeword).";

// The FLEX page of a generator page description.
bool FlexPageFromDescription(const PageDescription& description, FlexPage& page, std::string& error);

bool EncodeFlexPages(const std::vector<PageDescription>& pages, const EncodeOptions& options, SymbolStream& out,
                     std::string& error);

}  // namespace tolvane::gen
