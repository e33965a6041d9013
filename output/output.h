// The emission operations: the only way decoders write text. Characters go
// into the message pane's grid, into CurrentLine (the page line being
// composed, with marks for the capcode field and the message), and into the
// log. PaneEndLine completes a row and, for a page line, runs the filters.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "display/text_pane.h"
#include "output/filter_record.h"
#include "settings/settings.h"

namespace tolvane {

struct OutsideWorld;
class OutputFile;

inline constexpr std::size_t kCurrentLineSize = 1032;  // keeps at most 1031 characters
inline constexpr std::size_t kPanePutTextLimit = 256;

struct CurrentLine {
    std::array<std::uint8_t, kCurrentLineSize> chars{};
    std::array<std::uint8_t, kCurrentLineSize> attrs{};
    std::int32_t length = 0;
    std::int32_t capcodeStart = 0;
    std::int32_t capcodeEnd = 0;
    std::int32_t messageStart = 0;
};

// True when every one of the n positions of pattern is '?' or equals text.
// Both must hold at least n bytes.
bool CapcodeMatch(const char* text, const char* pattern, int n);

class Output {
public:
    Output(const Settings& settings, OutsideWorld& world);
    ~Output();

    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Sizes both grids from the settings (falling back to 1000 and 200 rows
    // when memory cannot be had) and clears them.
    void CreatePanes(std::uint32_t lineWidth);

    void PaneSetColor(TextPane& pane, ColorClass colorClass) { pane.color = static_cast<std::uint8_t>(colorClass); }
    void PanePutChar(TextPane& pane, std::uint8_t ch);
    void PanePutChar(TextPane& pane, char ch) { PanePutChar(pane, static_cast<std::uint8_t>(ch)); }
    // Stops at the first 0 byte or after 256 characters.
    void PanePutText(TextPane& pane, std::string_view text);
    void PaneEndLine(TextPane& pane);

    void MarkCapcodeStart() { line_.capcodeStart = line_.length; }
    void MarkCapcodeEnd() { line_.capcodeEnd = line_.length; }
    void MarkMessageStart() { line_.messageStart = line_.length; }

    // Chooses the capcode filter of the page about to be written; a
    // rejecting filter suppresses the whole page. function/baud 0 = not compared.
    void SelectCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud);

    // Log file: opened with the settings' name (or the date name).
    void OpenLog(const std::string& dateBaseName);
    void CloseLog();
    bool LogOpen() const { return log_ != nullptr; }

    // Timer hook: the log and filter-file flush countdowns.
    void FlushTick();

    TextPane MessagePane;
    TextPane FilterPane;

    const CurrentLine& Line() const { return line_; }

    bool SuppressOutput = false;  // starts clear: the first page after start-up is kept
    bool RowBreakOnly = false;
    int CapcodeFilterIndex = -1;
    std::string FilterOutputName;

    std::uint32_t LogFlushCountdown = 0;
    std::uint32_t FilterFlushCountdown = 0;

private:
    void CompleteMessageLine();
    bool IsMessagePane(const TextPane& pane) const { return &pane == &MessagePane; }

    const Settings& settings_;
    OutsideWorld& world_;
    CurrentLine line_;
    std::unique_ptr<OutputFile> log_;
};

}  // namespace tolvane
