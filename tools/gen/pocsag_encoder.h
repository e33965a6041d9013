// POCSAG encoder for the test-signal generator.
//
// It builds transmissions of the air interface laid out in air/pocsag_air.h.
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

#include "air/pocsag_air.h"
#include "tools/gen/page_description.h"

namespace tolvane::gen {

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
