// Texts inside comma-separated INI values (filters, channels): written in
// double quotes, a double quote inside as \" and a backslash as \\ (so a
// text ending in a backslash survives); any other backslash reads as itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

void AppendQuoted(std::string& out, const std::string& text);

// `comma` is the position of the comma before a quoted field. Reads the
// field into `out` (at most `limit` characters) and returns the position
// after it: after the closing quote, or the end of the value. A letter
// typed in UTF-8 is one character of several bytes, and is never cut.
std::size_t ReadQuoted(std::string_view v, std::size_t comma, std::string& out, std::size_t limit);

}  // namespace tolvane
