// User filters: a capcode filter for one protocol (with optional text,
// label, reject and command flags) or a text-only filter.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

enum class FilterType : std::int32_t {
    Unassigned = 0,
    Text = 1,
    Pocsag = 2,
    ShortFlex = 3,
    LongFlex = 4,
    Golay = 5,
};

inline constexpr int kMaxFilters = 200;
inline constexpr std::size_t kFilterCapcodeMax = 9;
inline constexpr std::size_t kFilterLabelMax = 20;
inline constexpr std::size_t kFilterTextMax = 40;

struct FilterRecord {
    FilterType type = FilterType::Unassigned;
    std::string capcode;   // digits and '?', as many as the type needs
    std::int8_t function = 0;  // 0 any, 1..4 (Pocsag, Golay)
    std::string label;     // at most 20 characters
    std::string text;      // at most 40 characters
    std::int32_t command = 0;
    std::int32_t baud = 0;     // 0 any, 1 = 2400, 2 = 1200, 3 = 512 (Pocsag)
    std::int32_t reject = 0;

    bool operator==(const FilterRecord&) const = default;
};

}  // namespace tolvane
