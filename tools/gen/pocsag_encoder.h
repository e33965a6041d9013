// POCSAG encoder for the test-signal generator.
//
// The POCSAG air interface, as this encoder builds it:
//
// - A transmission opens with a preamble of at least 576 bits of reversals
//   (1010...), long enough for a receiver to find the bit rate, followed by
//   batches. The rate is 512, 1200 or 2400 bit/s, NRZ.
// - A batch is one sync codeword 0x7CD215D8 and 16 codewords, grouped as 8
//   frames of 2 codewords (frame = codeword index / 2). Batches follow each
//   other without a gap while there is traffic.
// - Every codeword has 32 bits, most significant first:
//
//     bit 31    30 ........ 11   10 ..... 1   0
//         F     20 payload bits   BCH check    P
//
//   F = 0: address codeword. Payload = the upper 18 bits of the 21-bit
//   capcode, then 2 function bits (function 0..3). The low 3 bits of the
//   capcode are not sent: they are the frame the address must stand in, so
//   a pager only listens to its own frame.
//   F = 1: message codeword. Payload = 20 message bits.
//   The 31 bits F..check are a BCH(31,21) code word (generator x^10 + x^9 +
//   x^8 + x^6 + x^5 + x^3 + 1); P makes the parity of all 32 bits even.
// - The message codewords of a page follow its address directly and may run
//   over frames and batches (the sync codeword is skipped over). Numeric
//   messages are 4-bit digits from the table "0123456789*U -)(", alphanumeric
//   ones 7-bit characters; both are sent least significant bit first, one
//   continuous bit stream over the 20-bit payloads. Unused payload bits at
//   the end are filled with spaces (digit 12, or the bits of ' ').
// - A tone-only page is an address without message codewords.
// - Slots with nothing to send carry the idle codeword 0x7A89C197.
//
// This encoder places pages in the order given: each address goes into the
// first slot of its frame at or after the end of the previous page (in the
// next batch when its frame has passed). The last batch is filled with idle
// codewords, and one more batch of idle codewords follows when its last slot
// is not already idle, so that every page is closed by an idle codeword.
//
// Codewords are numbered for --error-words as batch × 16 + slot (0..15),
// from the first batch; sync codewords have no number.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tools/gen/page_description.h"

namespace tolvane::gen {

inline constexpr std::uint32_t kPocsagSyncWord = 0x7CD215D8;
inline constexpr std::uint32_t kPocsagIdleWord = 0x7A89C197;
inline constexpr int kPocsagPreambleBits = 576;
inline constexpr int kPocsagBatchWords = 16;
inline constexpr std::uint32_t kPocsagMaxCapcode = 0x1FFFFF;

inline constexpr const char kPocsagUsage[] =
    "pocsag:RATE:CAPCODE:FUNCTION:KIND:TEXT   RATE 512, 1200 or 2400; CAPCODE 0..2097151;\n"
    "    KIND numeric (0-9 * U space - ) ( ), alpha (7-bit text) or tone (TEXT ignored).\n"
    "    --error-words numbers codewords batch*16+slot from the first batch (syncs not counted).";

// 512, 1200 or 2400; false for anything else.
bool ParsePocsagRate(std::string_view text, int& bitsPerSecond);
// 0..2097151 in decimal digits.
bool ParsePocsagCapcode(std::string_view text, std::uint32_t& capcode);

std::uint32_t PocsagAddressWord(std::uint32_t capcode, int function);
// payload20: bit 19 is sent first.
std::uint32_t PocsagMessageWord(std::uint32_t payload20);

// The message codewords of one page (none for tone-only). False with a
// reason for a character the kind cannot carry.
bool PocsagMessageWords(PageKind kind, const std::string& text, std::vector<std::uint32_t>& words,
                        std::string& error);

// The codewords of one transmission without its sync codewords: a multiple
// of 16, batch after batch.
bool BuildPocsagSlots(const std::vector<PageDescription>& pages, std::vector<std::uint32_t>& slots, std::string& error);

// Flips three bits of a valid codeword so that the receiver's corrector
// gives up on it. Only check bits are changed, so the payload is still
// there for whoever ignores the verdict.
std::uint32_t MakePocsagUncorrectable(std::uint32_t word, std::mt19937& rng);

// Appends one word's bits, most significant first (bit 1 = symbol 0, bit 0 =
// symbol 3), at `bitsPerSecond`.
void AppendPocsagWord(SymbolStream& out, std::uint32_t word, int bitsPerSecond, int bits = 32);

// The registered encoder: one transmission for pages of one rate.
bool EncodePocsagPages(const std::vector<PageDescription>& pages, const EncodeOptions& options, SymbolStream& out,
                       std::string& error);

}  // namespace tolvane::gen
