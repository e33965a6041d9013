// What the test-signal generator is asked to send: a list of pages, each
// described on the command line as
//
//   PROTOCOL:RATE:CAPCODE:FUNCTION:KIND:TEXT
//
// e.g. pocsag:1200:1234567:3:alpha:Hello world. TEXT is everything after the
// fifth colon and may itself contain colons; \\ and \xHH (two hex digits)
// put a backslash or any byte into it. Each protocol's encoder reads RATE,
// CAPCODE and FUNCTION in its own terms (they stay strings here).
//
// Every encoder has the same shape (see protocols.h): a group of pages of one
// protocol and rate in, the symbols of one transmission out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/gen/symbol_stream.h"

namespace tolvane::gen {

enum class PageKind {
    Numeric,
    Alpha,
    Tone,
    Binary,
};

struct PageDescription {
    std::string protocol;  // "pocsag", "flex", "gsc", ...
    std::string rate;      // rate or mode, as the protocol names it: "1200", "3200/4"
    std::string capcode;   // as typed: digits
    int function = 0;      // 0..3
    PageKind kind = PageKind::Alpha;
    std::string text;      // escapes already resolved
};

// Damage and framing choices shared by every encoder.
struct EncodeOptions {
    int bitErrors = 0;              // flip this many random bits in every codeword
    bool errorsInInfoOnly = false;  // ... chosen among the information bits only
    std::vector<int> errorWords;    // codeword numbers to make uncorrectable (numbering: per protocol)
    int preambleBits = -1;          // -1: the protocol's usual preamble
    int flexLeadIn = 0;             // FLEX: resynchronisation cycles before the first frame
    std::uint16_t flexLeadInCode = 0x34DF;  // ... and the code of their sync
    std::uint32_t seed = 1;
};

// Parses one page description. False with a one-line reason.
bool ParsePageDescription(const std::string& description, PageDescription& page, std::string& error);

// "numeric"/"num", "alpha"/"alphanumeric", "tone", "binary"/"hex".
bool ParsePageKind(const std::string& name, PageKind& kind);
const char* PageKindName(PageKind kind);

// Resolves \\ and \xHH; false on a malformed escape.
bool UnescapeText(const std::string& in, std::string& out);

// Parses a comma-separated list of non-negative integers ("3,17,40").
bool ParseIndexList(const std::string& text, std::vector<int>& out);

// The signature every protocol encoder has: appends one transmission for
// `pages` (all of one protocol and rate) to `out`.
using PageEncoder = bool (*)(const std::vector<PageDescription>& pages, const EncodeOptions& options, SymbolStream& out,
                             std::string& error);

}  // namespace tolvane::gen
