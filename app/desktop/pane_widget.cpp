#include "app/desktop/pane_widget.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

#include "output/charset.h"

namespace tolvane::desktop {

class PaneCanvas : public QWidget {
public:
    explicit PaneCanvas(PaneWidget& owner) : QWidget(&owner), owner_(owner) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::ArrowCursor);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        owner_.Paint(painter, event->rect());
    }
    void resizeEvent(QResizeEvent*) override { owner_.LayoutRows(); }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) owner_.SelectionPress(event->position().toPoint());
    }
    void mouseMoveEvent(QMouseEvent* event) override { owner_.SelectionMove(event->position().toPoint()); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) owner_.SelectionRelease();
    }
    // The wheel over the text scrolls as it does over the bar.
    void wheelEvent(QWheelEvent* event) override { QCoreApplication::sendEvent(owner_.bar_, event); }

private:
    PaneWidget& owner_;
};

PaneWidget::PaneWidget(TextPane& pane, const Settings& settings, Selection& selection, QWidget* parent)
    : QWidget(parent), pane_(pane), settings_(settings), selection_(selection) {
    setFocusPolicy(Qt::NoFocus);
    canvas_ = new PaneCanvas(*this);
    bar_ = new QScrollBar(Qt::Vertical, this);
    bar_->setFocusPolicy(Qt::NoFocus);
    bar_->setRange(0, 0);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(canvas_, 1);
    layout->addWidget(bar_);
    // The bar reports what the user asked for; the pane decides where the
    // view goes and the bar is put there.
    connect(bar_, &QScrollBar::actionTriggered, this, [this](int action) {
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub: ScrollPane(ScrollRequest::LineUp); break;
            case QAbstractSlider::SliderSingleStepAdd: ScrollPane(ScrollRequest::LineDown); break;
            case QAbstractSlider::SliderPageStepSub: ScrollPane(ScrollRequest::PageUp); break;
            case QAbstractSlider::SliderPageStepAdd: ScrollPane(ScrollRequest::PageDown); break;
            case QAbstractSlider::SliderMove: ScrollPane(ScrollRequest::ThumbDragged, bar_->sliderPosition()); break;
            case QAbstractSlider::SliderToMinimum: ScrollPane(ScrollRequest::Top); break;
            case QAbstractSlider::SliderToMaximum: ScrollPane(ScrollRequest::Bottom); break;
            default: break;
        }
        bar_->setSliderPosition(pane_.TopRow());
    });
    pane_.view = this;
}

PaneWidget::~PaneWidget() {
    if (pane_.view == this) pane_.view = nullptr;
    if (selection_.pane == this) selection_ = Selection{};
}

QWidget* PaneWidget::Canvas() const { return canvas_; }

void PaneWidget::SetFont(const QFont& font, const FontCells& cells) {
    font_ = font;
    cells_ = cells;
    rawFont_ = QRawFont::fromFont(font_);
    // Each glyph sits in the middle of its cell.
    glyphOffset_ = (cells_.charWidth - QFontMetricsF(font_).horizontalAdvance(QLatin1Char('0'))) / 2;
    LayoutRows();
}

void PaneWidget::Reattach() {
    pane_.view = this;
    LayoutRows();
}

void PaneWidget::LayoutRows() {
    // A new size: the rows that fit, and the view moved to the newest line
    // so that what just arrived stays in sight.
    pane_.SetVisibleRows(canvas_->height() / std::max(1, cells_.lineHeight));
    pane_.ScrollTo(pane_.ScrollMax());
    canvas_->update();
}

void PaneWidget::ScrollPane(ScrollRequest request, int thumb) {
    int step = 0;
    const int top = pane_.TopRow();
    const int page = pane_.VisibleRows() == 0 ? 1 : pane_.VisibleRows();
    switch (request) {
        case ScrollRequest::LineUp: step = -1; break;
        case ScrollRequest::LineDown: step = 1; break;
        case ScrollRequest::PageUp: step = -page; break;
        case ScrollRequest::PageDown: step = page; break;
        case ScrollRequest::ThumbReleased: step = 0; break;
        case ScrollRequest::ThumbDragged: step = thumb - top; break;
        case ScrollRequest::Top: step = -top; break;
        case ScrollRequest::Bottom: step = pane_.ScrollMax() - top; break;
    }
    pane_.ScrollBy(step);
    if (pane_.TopRow() != top) canvas_->update();
}

void PaneWidget::RowCompleted(const TextPane&, std::uint32_t, bool) {}

void PaneWidget::ScrollRows(const TextPane&, int) { canvas_->update(); }

void PaneWidget::InvalidateRows(const TextPane&, int firstRow, int lastRow) {
    if (lastRow < 0 || firstRow > pane_.VisibleRows()) return;
    const int top = std::max(0, firstRow) * cells_.lineHeight;
    canvas_->update(0, top, canvas_->width(), (lastRow - std::max(0, firstRow) + 1) * cells_.lineHeight);
}

void PaneWidget::SetScroll(const TextPane&, int scrollMax, int position) {
    const QSignalBlocker block(bar_);
    bar_->setRange(0, std::max(0, scrollMax));
    bar_->setPageStep(std::max(1, pane_.VisibleRows()));
    bar_->setValue(std::max(0, position));
}

void PaneWidget::Paint(QPainter& painter, const QRect& area) {
    const QColor background = ToQColor(settings_.ColorOf(ColorClass::Background));
    painter.fillRect(area, background);
    if (pane_.HasBuffers()) {
        painter.setFont(font_);
        const int lineHeight = std::max(1, cells_.lineHeight);
        const int firstRow = std::max(0, area.top() / lineHeight + pane_.TopRow());
        const int lastRow = std::min(static_cast<int>(pane_.row), area.bottom() / lineHeight + pane_.TopRow());
        // A first run written before any colour was set takes the
        // alphanumeric colour.
        std::uint8_t current = 0;
        painter.setPen(ToQColor(settings_.ColorOf(ColorClass::Alphanumeric)));
        for (int r = firstRow; r <= lastRow; ++r) {
            const auto* chars = pane_.CharsOfRow(static_cast<std::uint32_t>(r));
            const auto* attrs = pane_.AttrsOfRow(static_cast<std::uint32_t>(r));
            int n = 0;
            while (n < static_cast<int>(pane_.lineWidth) && chars[n] != 0) ++n;
            const int y = (r - pane_.TopRow()) * lineHeight + cells_.ascent;
            for (int c = 0; c < n;) {
                if (attrs[c] != current) {
                    current = attrs[c];
                    if (current >= 1 && current <= kColorCount) {
                        painter.setPen(ToQColor(settings_.Color[current - 1u]));
                    }
                }
                int end = c;
                while (end < n && attrs[end] == current) ++end;
                PaintRun(painter, chars, c, end, y);
                c = end;
            }
        }
    }
    if (selection_.active && selection_.shown && selection_.pane == this) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(SelectionRect(), Qt::white);
    }
}

void PaneWidget::PaintRun(QPainter& painter, const std::uint8_t* chars, int first, int end, int baseline) {
    // Every glyph is placed on its own cell: the font's advance is rarely a
    // whole number of pixels, and text drawn as one string would drift off
    // the cells that the mouse selects and copies.
    runText_.clear();
    runPositions_.clear();
    for (int c = first; c < end; ++c) {
        runText_ += QChar(ShownCell(chars[c]));
        runPositions_.append(QPointF(c * cells_.charWidth + glyphOffset_, baseline));
    }
    QList<quint32> glyphs = rawFont_.glyphIndexesForString(runText_);
    if (glyphs.size() != runText_.size()) glyphs.fill(0, runText_.size());
    qsizetype kept = 0;
    for (qsizetype k = 0; k < glyphs.size(); ++k) {
        // A character the pane font lacks is drawn from a fallback font,
        // on its cell all the same.
        if (glyphs[k] == 0) {
            painter.drawText(runPositions_[k], QString(runText_[k]));
            continue;
        }
        glyphs[kept] = glyphs[k];
        runPositions_[kept++] = runPositions_[k];
    }
    glyphs.resize(kept);
    runPositions_.resize(kept);
    QGlyphRun run;
    run.setRawFont(rawFont_);
    run.setGlyphIndexes(glyphs);
    run.setPositions(runPositions_);
    painter.drawGlyphRun(QPointF(0, 0), run);
}

QRect PaneWidget::SelectionRect() const {
    return QRect(QPoint(selection_.FirstCol() * cells_.charWidth, selection_.FirstRow() * cells_.lineHeight),
                 QPoint((selection_.LastCol() + 1) * cells_.charWidth - 1,
                        (selection_.LastRow() + 1) * cells_.lineHeight - 1));
}

QPoint PaneWidget::CellAt(const QPoint& at) const {
    // A drag outside the window gives negative positions: they count as the
    // first cell.
    const int x = std::clamp(at.x(), 0, 0xFFFF);
    const int y = std::clamp(at.y(), 0, 0xFFFF);
    return QPoint(x / std::max(1, cells_.charWidth), y / std::max(1, cells_.lineHeight));
}

void PaneWidget::SelectionPress(const QPoint& at) {
    if (selection_.active && selection_.shown && selection_.pane != nullptr) selection_.pane->canvas_->update();
    const QPoint cell = CellAt(at);
    selection_.anchorCol = selection_.endCol = cell.x();
    selection_.anchorRow = selection_.endRow = cell.y();
    selection_.shown = false;
    selection_.active = true;
    selection_.dragging = true;
    selection_.pane = this;
}

void PaneWidget::SelectionMove(const QPoint& at) {
    if (!selection_.active || !selection_.dragging || selection_.pane != this) return;
    const QPoint cell = CellAt(at);
    if (cell.x() == selection_.endCol && cell.y() == selection_.endRow) return;
    selection_.endCol = cell.x();
    selection_.endRow = cell.y();
    selection_.shown = true;
    canvas_->update();
}

void PaneWidget::SelectionRelease() {
    selection_.dragging = false;
    // What is highlighted can be pasted with the middle button, as X11
    // programs do.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!selection_.shown || !clipboard->supportsSelection()) return;
    std::string text = CopyText(selection_.FirstCol(), selection_.LastCol(), selection_.FirstRow(), selection_.LastRow());
    text.pop_back();  // without the last line end, so that a paste does not end a command line
    clipboard->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())), QClipboard::Selection);
}

std::string PaneWidget::CopyText(int firstCol, int lastCol, int firstRow, int lastRow) const {
    std::string text;
    for (int w = firstRow; w <= lastRow; ++w) {
        const long long r = static_cast<long long>(pane_.TopRow()) + w;
        if (pane_.HasBuffers() && r >= 0 && r <= static_cast<long long>(pane_.row)) {
            const auto* chars = pane_.CharsOfRow(static_cast<std::uint32_t>(r));
            const int end = std::min(lastCol, static_cast<int>(pane_.lineWidth) - 1);
            for (int c = 0; c <= end; ++c) {
                if (chars[c] == 0) break;
                if (c >= firstCol) text += static_cast<char>(chars[c]);
            }
        }
        text += '\n';
    }
    return text;
}

std::string PaneWidget::CopyShownRows() const {
    const int rows = std::min(pane_.VisibleRows(), static_cast<int>(pane_.row));
    if (rows <= 0) return {};
    return CopyText(0, 79, 0, rows - 1);
}

}  // namespace tolvane::desktop
