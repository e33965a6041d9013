// The two panes every receiver writes to: the message pane (every line) and
// the filter pane (the lines a filter matched), sized from the settings and
// re-flowed when the window's width changes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/text_pane.h"

namespace tolvane {

struct Settings;

// Text put into a pane in one call stops after this many characters.
inline constexpr std::size_t kPanePutTextLimit = 256;

// Writing a pane as it is, without a line behind it: a cell at the cursor
// (a 0 byte is skipped, a full row wraps), and the end of a row.
void PutPlainChar(TextPane& pane, std::uint8_t ch);
void EndPlainRow(TextPane& pane, bool wrapped);

class OutputPanes {
public:
    // The row counts fallen back to are stored in the settings (Pane1Size,
    // Pane2Size).
    explicit OutputPanes(Settings& settings) : settings_(settings) {}

    OutputPanes(const OutputPanes&) = delete;
    OutputPanes& operator=(const OutputPanes&) = delete;

    // Sizes both grids from the settings (falling back to 1000 and 200 rows
    // when memory cannot be had) and clears them. A width of 0 counts as 1,
    // one above kMaxLineWidth as that.
    void CreatePanes(std::uint32_t lineWidth);
    // A new row width (main window resized): both grids keep their text,
    // re-flowed at the new width (see TextPane::Reflow), message pane
    // first. Only when the new grids cannot be had are they made again at
    // the minimum size and cleared.
    void ResizePanes(std::uint32_t lineWidth);
    // A new scrollback size for one pane: false when it could not be had
    // and the minimum (1000 message / 200 filter rows) was used instead;
    // the size used is stored in the settings either way. The pane is
    // cleared.
    bool SetScrollback(TextPane& pane, std::uint32_t rows);

    TextPane& Message() { return message_; }
    TextPane& Filter() { return filter_; }

    static constexpr std::uint32_t kMessagePaneMinimum = 1000;
    static constexpr std::uint32_t kFilterPaneMinimum = 200;
    // Cells per row at most: wider than any screen shows at the smallest
    // font, and narrow enough that the minimum grids always fit.
    static constexpr std::uint32_t kMaxLineWidth = 4096;

private:
    bool IsMessagePane(const TextPane& pane) const { return &pane == &message_; }
    static std::uint32_t BoundLineWidth(std::uint32_t lineWidth);
    void AllocateOrFallBack(TextPane& pane, std::uint32_t rows, std::uint32_t lineWidth);
    std::uint32_t& SizeSetting(const TextPane& pane);

    Settings& settings_;
    TextPane message_;
    TextPane filter_;
};

}  // namespace tolvane
