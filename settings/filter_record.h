// User filters: a capcode filter for one protocol (with optional text,
// label, reject and command flags) or a text-only filter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/channel_record.h"

namespace tolvane {

struct Settings;

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
    // The text table of this filter's pages: 0 the settings' Charset,
    // otherwise 1 + a NationalCharset (so that one network can differ).
    std::int32_t charset = 0;
    // The channel (its name) whose pages alone this filter takes; empty:
    // every channel.
    std::string channel{};

    bool operator==(const FilterRecord&) const = default;
};

// Capcode characters a filter of this type holds (0 for Text/Unassigned).
int FilterCapcodeLength(FilterType type);
// Whether the type compares the page's function / baud code.
inline bool FilterUsesFunction(FilterType type) { return type == FilterType::Pocsag || type == FilterType::Golay; }
inline bool FilterUsesBaud(FilterType type) { return type == FilterType::Pocsag; }

// Checks a filter as the Add/Edit dialog takes it and completes it: a
// capcode type needs a capcode of digits and '?' (of what was typed, the
// first kFilterCapcodeMax characters), made up to the type's length with
// leading zeros; a text filter needs its text. Returns the refusal to show
// the user, or nullptr when `entry` holds the completed filter.
const char* CompleteFilterEntry(FilterRecord& entry);

// Display names: the list-box name of a type ("POCSAG", "Short FLEX", ...),
// of a function code ("Any", "1".."4") and of a baud code ("Any", "2400",
// "1200", "512"). Codes outside the table show as their number.
std::string FilterTypeName(FilterType type);
std::string FilterFunctionName(int function);
std::string FilterBaudName(int baud);

// The list-box line of a record, e.g. "POCSAG | Fire | 1234567 | 2 | 1200"
// (and the name of its own charset, when it has one).
std::string FormatFilterLine(const FilterRecord& record);

// The INI value of a record: eight comma-separated fields,
//   type,"capcode",function,"label","text",command,baud,reject[,charset[,"channel"]]
// (the ninth field only when the filter has its own charset or a channel,
// the tenth only with a channel, so that older values are written as they
// were) with the three texts in double quotes. Inside the quotes a double quote
// is written \" and a backslash \\ (so a text ending in a backslash
// survives); any other backslash reads as itself.
std::string FormatFilterValue(const FilterRecord& record);
// Reads a value field by field; whatever the value does not reach reads as
// 0 or empty, and texts are cut to their limits. Never fails.
FilterRecord ParseFilterValue(std::string_view value);

// The filter output file name: FilterFile, or with FilterFileUseDate the
// date base name (e.g. "00JUL15") followed by ".FLT".
std::string MakeFilterOutputName(const Settings& settings, const std::string& dateBaseName);

}  // namespace tolvane
