// A pane's scrollback: two parallel byte grids (characters and colour
// classes) with a fixed row stride, kept as a ring of rows, and the view
// that decides whether it follows the newest line. No drawing here: a PaneView is told which
// rows to repaint and how far to scroll.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

class TextPane;

// What a window (or the command-line printer) does with a pane's changes.
class PaneView {
public:
    virtual ~PaneView() = default;
    // A row was completed; wrapped = ended by the automatic wrap, so the
    // same line continues on the next row.
    virtual void RowCompleted(const TextPane& pane, std::uint32_t row, bool wrapped) = 0;
    // The view follows the end: scroll the contents up by delta rows.
    virtual void ScrollRows(const TextPane& /*pane*/, int /*delta*/) {}
    // Rows [firstRow, lastRow] of the view (relative to its top) need repainting.
    virtual void InvalidateRows(const TextPane& /*pane*/, int /*firstRow*/, int /*lastRow*/) {}
    // Vertical scroll range 0..scrollMax and position.
    virtual void SetScroll(const TextPane& /*pane*/, int /*scrollMax*/, int /*position*/) {}
};

class TextPane {
public:
    // Cursor and size, read by the emission code and painters.
    std::uint32_t capacity = 0;
    std::uint32_t lineWidth = 0;
    std::uint32_t row = 0;     // the row being written; rows [0, row) are complete
    std::uint32_t column = 0;
    std::uint8_t color = 0;

    PaneView* view = nullptr;

    // Grids larger than this are refused like a failed allocation, so that
    // a hand-edited scrollback size falls back instead of exhausting memory.
    static constexpr std::size_t kMaxGridBytes = std::size_t{256} << 20;

    // Obtains both grids for `rows` rows (plus the spare one) at `width`
    // cells; false (and the pane left without buffers) if the memory cannot
    // be had. Cursor and view are left for ClearPane.
    bool AllocatePaneBuffers(std::uint32_t rows, std::uint32_t width);
    void ClearPane();

    std::size_t Stride() const { return static_cast<std::size_t>(lineWidth) + 1; }
    // Row r counts from the oldest row kept. The rows live in a ring, so a
    // row's cells are contiguous but consecutive rows need not be.
    std::uint8_t* CharsOfRow(std::uint32_t r) { return chars_.data() + Offset(r); }
    std::uint8_t* AttrsOfRow(std::uint32_t r) { return attrs_.data() + Offset(r); }
    const std::uint8_t* CharsOfRow(std::uint32_t r) const { return chars_.data() + Offset(r); }
    const std::uint8_t* AttrsOfRow(std::uint32_t r) const { return attrs_.data() + Offset(r); }
    // The text of a completed row (up to its terminator).
    std::string RowText(std::uint32_t r) const;
    bool HasBuffers() const { return capacity > 0 && !chars_.empty(); }

    // Writes one cell at the cursor (no wrap handling; see Output). The cell
    // after it is zeroed too, so that the row being written always ends
    // where its text ends and a painter never shows stale cells of an
    // earlier line (the cursor is below lineWidth, so the stride has room).
    void PutCell(std::uint8_t ch, std::uint8_t attr) {
        const std::size_t at = Offset(row) + column;
        chars_[at] = ch;
        attrs_[at] = attr;
        chars_[at + 1] = 0;
        attrs_[at + 1] = 0;
    }
    // Terminates the current row at the cursor (which may stand at
    // lineWidth, the spare last cell of the row, after a wrap).
    void TerminateRow() {
        const std::size_t at = Offset(row) + column;
        chars_[at] = 0;
        attrs_[at] = 0;
    }
    // Moves to the next row, dropping the oldest of a full grid (O(width)),
    // and moves the view when it showed the end.
    void AdvancePane();

    // A new row width that keeps the text: the rows of each line (a full
    // row continues on the next) are joined and wrapped again at the new
    // width, colours with them; the row being written stays the one being
    // written. When the lines need more rows than the pane keeps, the
    // newest are kept. The view shows the newest line afterwards. False
    // (pane unchanged) when the new grids cannot be had.
    bool Reflow(std::uint32_t width);

    // The view: visibleRows rows starting at TopRow(). TopRow() stays within
    // 0..max(0, ScrollMax()); ScrollMax() is row - visibleRows and is
    // negative while the rows fit the view.
    std::int32_t VisibleRows() const { return visibleRows_; }
    std::int32_t TopRow() const { return topRow_; }
    std::int32_t ScrollMax() const { return scrollMax_; }
    void SetVisibleRows(std::int32_t rows);
    // Moves the view (clamped) and tells the PaneView the new position.
    void ScrollTo(std::int32_t top);
    void ScrollBy(std::int32_t delta) { ScrollTo(topRow_ + delta); }
    // True when the newest row is in view, so new rows scroll it along.
    bool FollowsEnd() const { return static_cast<std::int32_t>(row) <= topRow_ + visibleRows_; }

private:
    std::size_t Offset(std::uint32_t r) const {
        std::size_t slot = static_cast<std::size_t>(first_) + r;
        // (Not named "slots": Qt programs include this header.)
        const std::size_t slotCount = static_cast<std::size_t>(capacity) + 1;
        if (slot >= slotCount) slot -= slotCount;
        return slot * Stride();
    }

    std::vector<std::uint8_t> chars_;
    std::vector<std::uint8_t> attrs_;
    std::uint32_t first_ = 0;  // slot of row 0
    std::int32_t visibleRows_ = 0;
    std::int32_t topRow_ = 0;
    std::int32_t scrollMax_ = 0;
};

}  // namespace tolvane
