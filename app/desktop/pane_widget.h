// One pane window: paints a core grid row by row in coloured runs, scrolls
// it with a vertical bar and takes the shared rectangular mouse selection.
// The grid and its view fields live in the core; this widget only paints
// and forwards input.
#pragma once

#include <QRawFont>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>
#include <string>

#include "app/desktop/qt_world.h"
#include "display/text_pane.h"
#include "settings/settings.h"

namespace tolvane::desktop {

class PaneWidget;

// The one selection shared by both panes. Cells are window cells, so the
// rectangle stays where it is on screen while the text scrolls under it.
struct Selection {
    bool active = false;
    bool shown = false;     // highlighted
    bool dragging = false;
    PaneWidget* pane = nullptr;
    int anchorCol = 0, anchorRow = 0, endCol = 0, endRow = 0;

    int FirstCol() const { return std::min(anchorCol, endCol); }
    int LastCol() const { return std::max(anchorCol, endCol); }
    int FirstRow() const { return std::min(anchorRow, endRow); }
    int LastRow() const { return std::max(anchorRow, endRow); }
};

// Scroll requests of the vertical bar and the cursor keys.
enum class ScrollRequest { LineUp = 0, LineDown = 1, PageUp = 2, PageDown = 3, ThumbReleased = 4, ThumbDragged = 5, Top = 6, Bottom = 7 };

class PaneCanvas;

class PaneWidget : public QWidget, public PaneView {
public:
    PaneWidget(TextPane& pane, const Settings& settings, Selection& selection, QWidget* parent = nullptr);
    ~PaneWidget() override;

    TextPane& Pane() { return pane_; }
    QWidget* Canvas() const;
    QScrollBar* ScrollBar() const { return bar_; }

    void SetFont(const QFont& font, const FontCells& cells);
    const FontCells& Cells() const { return cells_; }
    // The pane's grid moved (new buffers or a re-flow): re-attach and show
    // the newest line.
    void Reattach();
    void ScrollPane(ScrollRequest request, int thumb = 0);
    // Text of window rows firstRow..lastRow, columns firstCol..lastCol;
    // each row ended by "\n".
    std::string CopyText(int firstCol, int lastCol, int firstRow, int lastRow) const;
    // Window rows that show text, from the first shown (the Copy Lower /
    // Upper Pane commands).
    std::string CopyShownRows() const;
    // The smallest height that still shows one row.
    int MinimumPaneHeight() const { return cells_.lineHeight; }

    // PaneView.
    void RowCompleted(const TextPane& pane, std::uint32_t row, bool wrapped) override;
    void ScrollRows(const TextPane& pane, int delta) override;
    void InvalidateRows(const TextPane& pane, int firstRow, int lastRow) override;
    void SetScroll(const TextPane& pane, int scrollMax, int position) override;

    QSize minimumSizeHint() const override { return QSize(0, 0); }
    QSize sizeHint() const override { return QSize(400, 100); }

private:
    friend class PaneCanvas;
    void LayoutRows();
    void Paint(QPainter& painter, const QRect& area);
    // Cells first..end-1 of a row, each glyph at its cell's place.
    void PaintRun(QPainter& painter, const std::uint8_t* chars, int first, int end, int baseline);
    void SelectionPress(const QPoint& at);
    void SelectionMove(const QPoint& at);
    void SelectionRelease();
    QPoint CellAt(const QPoint& at) const;
    QRect SelectionRect() const;

    TextPane& pane_;
    const Settings& settings_;
    Selection& selection_;
    FontCells cells_;
    QFont font_;
    QRawFont rawFont_;
    qreal glyphOffset_ = 0;
    // Kept between paints so that painting a run reuses their storage.
    QString runText_;
    QList<QPointF> runPositions_;
    PaneCanvas* canvas_ = nullptr;
    QScrollBar* bar_ = nullptr;
};

}  // namespace tolvane::desktop
