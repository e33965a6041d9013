// The argument vector of a filter command. The template (FilterCmdArgs) is
// the user's; the capcode, label and message substituted into it come from
// the air, so they are never re-split or interpreted: the template is split
// into words first and %c / %l / %m are replaced inside each word. The
// program is then started with these words as its arguments, no shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "world/command_words.h"

namespace tolvane {

// Longest command line (program, a space, the arguments separated by single
// spaces) that a filter may start.
inline constexpr std::size_t kCommandLineMax = 120;

// Replaces %c / %C by the capcode field, %l / %L by the label and %m / %M by
// the message; a '%' before any other character, or at the end, stays.
std::string SubstituteFilterFields(std::string_view word, std::string_view capcode, std::string_view label,
                                   std::string_view message);

// Splits the template, substitutes each word and cuts the result so that
// program + ' ' + the words joined by spaces is at most 120 characters: the
// word that crosses the limit is shortened and later words are dropped.
std::vector<std::string> BuildFilterCommandArgs(std::string_view program, std::string_view commandTemplate,
                                                std::string_view capcode, std::string_view label,
                                                std::string_view message);

}  // namespace tolvane
