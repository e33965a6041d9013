#include "display/text_pane.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tolvane {

bool TextPane::AllocatePaneBuffers(std::uint32_t rows, std::uint32_t width) {
    chars_.clear();
    attrs_.clear();
    chars_.shrink_to_fit();
    attrs_.shrink_to_fit();
    capacity = 0;
    first_ = 0;
    if (rows == 0 || width == 0) return false;
    const std::size_t stride = static_cast<std::size_t>(width) + 1;
    if (static_cast<std::size_t>(rows) + 1 > kMaxGridBytes / stride) return false;
    const std::size_t bytes = (static_cast<std::size_t>(rows) + 1) * stride;
    try {
        chars_.assign(bytes, 0);
        attrs_.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        chars_.clear();
        attrs_.clear();
        return false;
    } catch (const std::length_error&) {
        chars_.clear();
        attrs_.clear();
        return false;
    }
    capacity = rows;
    lineWidth = width;
    return true;
}

void TextPane::ClearPane() {
    row = 0;
    first_ = 0;
    if (HasBuffers()) {
        for (std::uint32_t r = 0; r <= capacity; ++r) {
            CharsOfRow(r)[0] = 0;
            AttrsOfRow(r)[0] = 0;
        }
    }
    column = 0;
    color = 0;
    topRow_ = 0;
    scrollMax_ = 0;
    if (view != nullptr) view->SetScroll(*this, 0, 0);
}

std::string TextPane::RowText(std::uint32_t r) const {
    const auto* begin = reinterpret_cast<const char*>(CharsOfRow(r));
    return std::string(begin, ::strnlen(begin, lineWidth));
}

void TextPane::SetVisibleRows(std::int32_t rows) {
    visibleRows_ = std::max(rows, 0);
    scrollMax_ = static_cast<std::int32_t>(row) - visibleRows_;
    ScrollTo(topRow_);
}

void TextPane::ScrollTo(std::int32_t top) {
    topRow_ = std::clamp(top, 0, std::max(scrollMax_, 0));
    if (view != nullptr) view->SetScroll(*this, scrollMax_, topRow_);
}

void TextPane::AdvancePane() {
    bool viewShifted = false;
    if (row == capacity) {
        // Full: the oldest row's slot becomes the spare one.
        first_ = first_ == capacity ? 0 : first_ + 1;
        row = capacity - 1;
        CharsOfRow(row)[0] = 0;
        AttrsOfRow(row)[0] = 0;
        // The view keeps its text; at the oldest row it cannot, and shows
        // the rows that are left.
        if (topRow_ > 0) {
            --topRow_;
        } else {
            viewShifted = true;
        }
    }
    scrollMax_ = static_cast<std::int32_t>(row) - visibleRows_;
    if (static_cast<std::int32_t>(row) == topRow_ + visibleRows_ + 1) {
        // The view showed the end: follow it.
        const int delta = std::max(std::min(1, scrollMax_ - topRow_), -topRow_);
        topRow_ += delta;
        if (view != nullptr) {
            view->ScrollRows(*this, delta);
            view->InvalidateRows(*this, viewShifted ? 0 : visibleRows_ - 1, visibleRows_);
            view->SetScroll(*this, scrollMax_, topRow_);
        }
    } else if (view != nullptr) {
        // The view stays where the user put it: repaint the completed row
        // where it stands in the view (nothing shows if it is off screen).
        const int viewRow = static_cast<int>(row) - 1 - topRow_;
        if (viewShifted) {
            view->InvalidateRows(*this, 0, visibleRows_);
        } else {
            view->InvalidateRows(*this, viewRow, viewRow);
        }
    }
}

bool TextPane::Reflow(std::uint32_t width) {
    if (!HasBuffers() || width == 0) return false;
    if (width == lineWidth) return true;

    // The lines, each as its cells; the last one is the line being written.
    struct Line {
        std::vector<std::uint8_t> chars, attrs;
    };
    std::vector<Line> lines(1);
    for (std::uint32_t r = 0; r <= row; ++r) {
        const auto* c = CharsOfRow(r);
        const auto* a = AttrsOfRow(r);
        const std::size_t n =
            r == row ? column : ::strnlen(reinterpret_cast<const char*>(c), lineWidth);
        lines.back().chars.insert(lines.back().chars.end(), c, c + n);
        lines.back().attrs.insert(lines.back().attrs.end(), a, a + n);
        if (r < row && n < lineWidth) lines.emplace_back();
    }

    // Rows at the new width: (line, first cell, cells). A line that fills
    // its last row exactly is followed by an empty row, as the writer
    // leaves it, so that a full row always means "continued".
    struct Piece {
        std::size_t line, start, length;
    };
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t n = lines[i].chars.size();
        std::size_t start = 0;
        for (; n - start >= width; start += width) pieces.push_back({i, start, width});
        pieces.push_back({i, start, n - start});
    }
    // The last piece is the row being written; capacity - 1 completed rows
    // are kept before it.
    const std::size_t completed = pieces.size() - 1;
    const std::size_t skip = completed > capacity - 1 ? completed - (capacity - 1) : 0;

    TextPane next;
    if (!next.AllocatePaneBuffers(capacity, width)) return false;
    for (std::size_t p = skip; p < pieces.size(); ++p) {
        const Piece& piece = pieces[p];
        const Line& line = lines[piece.line];
        std::memcpy(next.CharsOfRow(next.row), line.chars.data() + piece.start, piece.length);
        std::memcpy(next.AttrsOfRow(next.row), line.attrs.data() + piece.start, piece.length);
        next.column = static_cast<std::uint32_t>(piece.length);
        next.TerminateRow();
        if (p + 1 < pieces.size()) ++next.row;
    }
    next.color = color;
    next.view = view;
    next.visibleRows_ = visibleRows_;
    next.scrollMax_ = static_cast<std::int32_t>(next.row) - next.visibleRows_;
    next.topRow_ = std::max(0, next.scrollMax_);
    *this = std::move(next);
    if (view != nullptr) view->SetScroll(*this, scrollMax_, topRow_);
    return true;
}

}  // namespace tolvane
