#include "display/text_pane.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tolvane {

bool TextPane::AllocatePaneBuffers(std::uint32_t rows, std::uint32_t width) {
    chars.clear();
    attrs.clear();
    chars.shrink_to_fit();
    attrs.shrink_to_fit();
    capacity = 0;
    if (rows == 0 || width == 0) return false;
    const std::size_t stride = static_cast<std::size_t>(width) + 1;
    if (static_cast<std::size_t>(rows) + 1 > kMaxGridBytes / stride) return false;
    const std::size_t bytes = (static_cast<std::size_t>(rows) + 1) * stride;
    try {
        chars.assign(bytes, 0);
        attrs.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        chars.clear();
        attrs.clear();
        return false;
    } catch (const std::length_error&) {
        chars.clear();
        attrs.clear();
        return false;
    }
    capacity = rows;
    lineWidth = width;
    return true;
}

void TextPane::ClearPane() {
    row = 0;
    if (HasBuffers()) {
        for (std::uint32_t r = 0; r < capacity; ++r) {
            CharsOfRow(r)[0] = 0;
            AttrsOfRow(r)[0] = 0;
        }
    }
    column = 0;
    color = 0;
    topRow = 0;
    scrollMax = 0;
    if (view != nullptr) view->SetScroll(*this, 0, 0);
}

std::string TextPane::RowText(std::uint32_t r) const {
    const auto* begin = reinterpret_cast<const char*>(CharsOfRow(r));
    return std::string(begin, ::strnlen(begin, lineWidth));
}

void TextPane::AdvancePane() {
    if (row == capacity) {
        // Full: drop the oldest row.
        std::memmove(chars.data(), chars.data() + Stride(), static_cast<std::size_t>(capacity) * Stride());
        std::memmove(attrs.data(), attrs.data() + Stride(), static_cast<std::size_t>(capacity) * Stride());
        row = capacity - 1;
        CharsOfRow(row)[0] = 0;
        AttrsOfRow(row)[0] = 0;
        --topRow;
    }
    scrollMax = static_cast<std::int32_t>(row) - visibleRows;
    if (static_cast<std::int32_t>(row) == topRow + visibleRows + 1) {
        // The view showed the end: follow it.
        const int delta = std::max(std::min(1, scrollMax - topRow), -topRow);
        topRow += delta;
        if (view != nullptr) {
            view->ScrollRows(*this, delta);
            view->InvalidateRows(*this, visibleRows - 1, visibleRows);
            view->SetScroll(*this, scrollMax, topRow);
        }
    } else if (view != nullptr) {
        // The view stays where the user put it: repaint the completed row
        // where it stands in the view (nothing shows if it is off screen).
        const int viewRow = static_cast<int>(row) - 1 - topRow;
        view->InvalidateRows(*this, viewRow, viewRow);
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
    next.visibleRows = visibleRows;
    next.scrollMax = static_cast<std::int32_t>(next.row) - next.visibleRows;
    next.topRow = std::max(0, next.scrollMax);
    *this = std::move(next);
    if (view != nullptr) view->SetScroll(*this, scrollMax, topRow);
    return true;
}

}  // namespace tolvane
