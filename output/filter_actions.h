// What the filters do: which filter a page or a completed line matches, and
// for a match the copy in the filter pane (what matched highlighted), the
// filter file, the beep and the command. Shared by every line builder.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "display/text_pane.h"
#include "output/current_line.h"
#include "output/file_watch.h"
#include "settings/filter_record.h"

namespace tolvane {

struct OutsideWorld;
struct Settings;

// True when every one of the n positions of pattern is '?' or equals text;
// a byte missing from a shorter text compares as 0 (so a short pattern
// only matches an equally short text).
bool CapcodeMatch(std::string_view text, std::string_view pattern, int n);

// Where a filter text occurs in a line: only from messageStart on, with the
// letters a-z folded to upper case (other characters compare as they are).
// The text is read as typed (see charset.h), the line as its cells hold it.
// Returns the position, or -1; `cells` is then the number of cells matched.
int FindFilterText(std::string_view line, int messageStart, std::string_view text, int* cells = nullptr);

struct FilterChoice {
    const FilterRecord* filter = nullptr;
    bool byCapcode = false;
    int textAt = -1;  // where the filter text was found, or -1
    int textLength = 0;
};

class FilterActions {
public:
    // The settings are read as they are at each call. The filter output
    // name is prepared from the clock.
    FilterActions(const Settings& settings, OutsideWorld& world, FileWatch& files, TextPane& filterPane);

    FilterActions(const FilterActions&) = delete;
    FilterActions& operator=(const FilterActions&) = delete;

    // The capcode filter of a page about to be written on `channel` (its
    // name; empty without channels): its index in the settings' Filters, or
    // -1. function/baud 0 = not compared. A filter limited to a channel
    // takes only that channel's pages.
    int FindCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud,
                          std::string_view channel = {}) const;
    // The filter of a completed line: its page's capcode filter alone
    // decides (capcodeFilter >= 0), else the first text filter found for
    // the channel.
    FilterChoice Choose(std::string_view line, int messageStart, int capcodeFilter, std::string_view channel = {}) const;
    // Everything a match does; `text` is the line up to its first 0 byte.
    void Act(const FilterChoice& choice, const CurrentLine& line, std::string_view text);

    // The filter file's name from the settings and today's date; done at
    // creation when the filter file is enabled and again when the filters
    // are confirmed. It does not follow the date at midnight.
    void PrepareOutputName();
    const std::string& OutputName() const { return outputName_; }

    // Timer hook: the filter file's flush countdown.
    void FlushTick();
    std::uint32_t FlushCountdown() const { return flushCountdown_; }

private:
    void CopyToPane(const FilterChoice& choice, const CurrentLine& line, std::string_view text);
    void StartCommand(const FilterRecord& filter, const CurrentLine& line, std::string_view text);

    const Settings& settings_;
    OutsideWorld& world_;
    FileWatch& files_;
    TextPane& pane_;
    std::string outputName_;
    std::uint32_t flushCountdown_ = 0;
    std::string fileLine_;                             // one filter-file line, reused
    std::array<std::uint8_t, kCurrentLineSize> attrs_{};  // the line's colours, the match highlighted
};

}  // namespace tolvane
