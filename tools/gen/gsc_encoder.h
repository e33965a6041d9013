// GSC (Golay Sequential Code) encoder for the test-signal generator.
//
// How a GSC transmission is put together here, in samples of 600 bit/s
// (a 300 bit/s bit is two equal samples, its "half-bits"; 1 = symbol 3):
//
// - Dotting: 60 alternating samples so that the receiver's clock settles.
// - Preamble: one of ten Golay words, chosen by the preamble index 0..9,
//   sent at 300 bit/s several times over (a receiver needs three), either
//   as it is or complemented. The plain form lets the receiver process one
//   block after the start code (plus one per address); the complemented
//   form gives it sixteen.
// - Blocks of 121 samples follow, each ending where the receiver looks:
//     start code / address block: 28 alternating samples (comma), the first
//     word W1 at 300 bit/s (46 samples), one sample that continues W1's last
//     level, and the second word W2 at 300 bit/s (46 samples);
//     data block: one unread sample and 120 samples at 600 bit/s.
// - Start code: W1 = 0x2032C9, W2 = its complement. The first one locks the
//   receiver; later ones refill its block budget to sixteen.
// - Address: W1 is one of fifty table words (address code 2k) or its
//   complement (2k + 1); W2 is a Golay codeword whose 12 data bits x carry
//   the rest of the capcode. Complementing W1 selects functions 3 and 4;
//   x >= 2048 (the low 11 bits stored complemented) selects 2 and 4. The
//   six-digit capcode is P DD E FF, with DD = address code / 2 (+ 50 when
//   the hundreds of 2x are odd), E and FF from 2x, and P = preamble index
//   minus the last digit of DD (mod 10). So a capcode fixes its preamble
//   index: pages that need different preamble indices go out as separate
//   transmissions.
// - Data block: 56 data bits d(0..55) spread over eight 15-bit words (word
//   k, position j holds d(7k + j) for j < 7; positions 7..14 are filler),
//   sent interleaved: sample n carries word n mod 8, position n div 8. A
//   numeric block holds 12 digits of 4 bits (table "0123456789 U -)(", the
//   first digit in d(0..3)); an alphanumeric block 8 characters of 6 bits
//   (character code - 0x20, value 63 ends the text). d(48) set means that
//   another data block of the same page follows.
//
// The filler of a data block is chosen so that the block cannot be taken
// for a start code or an address. The encoder inserts a start code whenever
// the receiver's block budget would run out before the transmission ends,
// and follows every transmission with enough idle samples for the receiver
// to use up its budget. A page ends at its last data block or at the next
// address; a tone-only page that closes a transmission is therefore closed
// by whatever the receiver hears next (the idle level reads as a data block
// of zeros).
//
// Words are numbered for --error-words in the order sent, two per start
// code or address block (W1 = 2n, W2 = 2n + 1), from the first block of the
// first transmission.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/gen/page_description.h"
#include "tools/gen/symbol_stream.h"

namespace tolvane::gen {

inline constexpr int kGscDefaultPreambles = 8;
inline constexpr int kGscDottingSamples = 60;
inline constexpr int kGscCommaSamples = 28;
inline constexpr std::size_t kGscMaxNumericDigits = 24;
inline constexpr std::size_t kGscMaxAlphaChars = 80;

inline constexpr const char kGscUsage[] =
    "gsc:RATE:CAPCODE:FUNCTION:KIND:TEXT   RATE 600 (plain preamble) or 600c (complemented\n"
    "    preamble); CAPCODE 0..999999; FUNCTION 0..3 is shown as 1..4; the preamble index\n"
    "    follows from the capcode. KIND numeric (up to 24 of 0-9 space U - ) ( ), alpha (up\n"
    "    to 80 of space..Z [ ], lower case sent as upper case) or tone (TEXT ignored).\n"
    "    --preamble-bits N sends ceil(N/23) preamble words (default 8 words).\n"
    "    --error-words numbers the Golay words of start code and address blocks, 2 per block.";

// What an address block carries for a capcode and function.
struct GscAddressPlan {
    int addressCode = 0;     // 0..99: table word addressCode / 2, complemented when odd
    std::uint32_t w2Data = 0;  // 12 data bits of the second word
    int preambleIndex = 0;   // 0..9
};

// capcode 0..999999, function 1..4.
GscAddressPlan GscPlanAddress(std::int32_t capcode, int function);

// The two words of an address block (W2 encoded; W1 the nearest codeword of
// the table word, complemented for an odd address code).
std::uint32_t GscAddressWord1(int addressCode);

// Data block contents: up to 12 digits / 8 characters (shorter numeric
// blocks are padded with spaces, shorter alphanumeric ones ended with value
// 63); `more` sets the continuation flag. False for a character the block
// cannot carry.
bool GscNumericBlock(std::string_view digits, bool more, std::uint64_t& data);
bool GscAlphaBlock(std::string_view text, bool more, std::uint64_t& data);

// The data blocks of one page, continuation flags set on all but the last;
// none for a tone-only page or an empty text.
bool GscPageBlocks(PageKind kind, std::string_view text, std::vector<std::uint64_t>& blocks, std::string& error);

// Builds the sample sequence block by block.
class GscSampleWriter {
public:
    void AppendDotting(int samples = kGscDottingSamples);
    void AppendLevel(int level, int samples);
    // One preamble word, doubled (46 samples).
    void AppendPreamble(int index, bool complemented);
    // A 121-sample block carrying two 23-bit words at 300 bit/s.
    void AppendWordBlock(std::uint32_t w1, std::uint32_t w2);
    void AppendStartCode();
    void AppendAddress(const GscAddressPlan& plan);
    // A 121-sample data block; the filler keeps it from reading as a start
    // code or an address.
    void AppendDataBlock(std::uint64_t data56);

    std::vector<std::uint8_t> samples;  // 0 or 1, one per 600 bit/s period
};

struct GscPage {
    std::int32_t capcode = 0;
    int function = 1;  // 1..4
    PageKind kind = PageKind::Numeric;
    std::string text;
};

struct GscTransmitOptions {
    bool complementedPreamble = false;
    int preambles = kGscDefaultPreambles;
    int bitErrors = 0;                 // flipped bits (both halves) in every start code / address word
    std::vector<int> errorWords;       // words given four flipped bits
    std::uint32_t seed = 1;
};

// The samples of the pages, as one or more transmissions.
bool BuildGscSamples(const std::vector<GscPage>& pages, const GscTransmitOptions& options,
                     std::vector<std::uint8_t>& samples, std::string& error);

// Samples -> symbols 0/3 at 600 per second.
void AppendGscSamples(const std::vector<std::uint8_t>& samples, SymbolStream& out);

// The generator's entry for "gsc".
bool EncodeGscPages(const std::vector<PageDescription>& pages, const EncodeOptions& options, SymbolStream& out,
                    std::string& error);

}  // namespace tolvane::gen
