// The page line being composed: its cells as the message pane shows them,
// with marks for the capcode field and the message, which the filters, the
// command and the page record read when it ends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tolvane {

inline constexpr std::size_t kCurrentLineSize = 1032;  // keeps at most 1031 characters

struct CurrentLine {
    std::array<std::uint8_t, kCurrentLineSize> chars{};
    std::array<std::uint8_t, kCurrentLineSize> attrs{};
    std::int32_t length = 0;
    std::int32_t capcodeStart = 0;
    std::int32_t capcodeEnd = 0;
    std::int32_t messageStart = 0;
};

// A part [from, to) of a line, empty when the marks are out of order or
// beyond the line (marks are left over from earlier lines by design).
inline std::string_view LinePart(std::string_view line, std::int32_t from, std::int32_t to) {
    if (from < 0) from = 0;
    const auto length = static_cast<std::int32_t>(line.size());
    if (to > length) to = length;
    if (from >= to) return {};
    return line.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
}

}  // namespace tolvane
