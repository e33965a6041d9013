// Text as pages carry it, and as the program's edges want it.
//
// Paging alphanumerics are 7-bit. Many networks use a national variant in
// which [ \ ] { | } ~ stand for letters of their language; the letters all
// exist in Latin-1. So every cell of the panes, CurrentLine and the page
// record hold one byte per character, read as Latin-1. What leaves the
// program is UTF-8: log and filter files, standard output, JSON and command
// arguments. Texts the user typed (filter texts, labels) are kept as typed:
// UTF-8, or single Latin-1 bytes from older settings files.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace tolvane {

inline constexpr int kNationalCharsetCount = kNationalCharsetLast + 1;

// The character a received 7-bit character stands for (a Latin-1 byte);
// anything the charset does not change is returned as it is.
std::uint8_t NationalLetter(NationalCharset charset, std::uint8_t ch);

// A charset from a setting's number, ASCII for a number outside the list.
NationalCharset CharsetOfSetting(std::int32_t value);
// A charset from its name (any case, "danish" and "norwegian" alike) or its
// number; nothing when neither.
std::optional<NationalCharset> ParseNationalCharset(std::string_view text);

// A cell as it is shown: the control characters from the air (C0, DEL and
// C1) become '.', so that a page stays one line and cannot drive a terminal.
constexpr std::uint8_t ShownCell(std::uint8_t ch) { return ch < 0x20 || (ch >= 0x7F && ch < 0xA0) ? '.' : ch; }

// Appends one Latin-1 character as UTF-8.
void AppendLatin1AsUtf8(std::string& out, std::uint8_t ch);
std::string Latin1ToUtf8(std::string_view bytes);

// One character of a typed text: a whole UTF-8 sequence gives its code
// point, any other byte itself (so Latin-1 bytes read as they were meant).
// Moves `at` past it. `at` must be below text.size().
char32_t NextTypedChar(std::string_view text, std::size_t& at);
// A typed text as the cells would hold it: characters beyond Latin-1 become
// '?'. At most `limit` characters are taken.
std::string TypedToLatin1(std::string_view text, std::size_t limit = std::string_view::npos);

}  // namespace tolvane
