// The argument words of a command the user set up (a filter's or the
// keep-alive's): the program is started with them, never through a shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Splits a template into words like a shell would, but without expansions:
// words are separated by blanks; '...' keeps everything literally; "..."
// keeps everything but lets \" and \\ stand for " and \; outside quotes a
// backslash makes the next character literal. An unterminated quote runs to
// the end. '' and "" make an empty word.
std::vector<std::string> SplitCommandWords(std::string_view commandTemplate);

}  // namespace tolvane
