#include "output/output_panes.h"

#include "settings/settings.h"

namespace tolvane {

void PutPlainChar(TextPane& pane, std::uint8_t ch) {
    if (!pane.HasBuffers() || ch == 0) return;
    pane.PutCell(ch, pane.color);
    if (++pane.column == pane.lineWidth) EndPlainRow(pane, true);
}

void EndPlainRow(TextPane& pane, bool wrapped) {
    if (!pane.HasBuffers()) return;
    pane.TerminateRow();
    if (pane.view != nullptr) pane.view->RowCompleted(pane, pane.row, wrapped);
    pane.column = 0;
    ++pane.row;
    pane.AdvancePane();
}

std::uint32_t& OutputPanes::SizeSetting(const TextPane& pane) {
    return IsMessagePane(pane) ? settings_.Pane1Size : settings_.Pane2Size;
}

std::uint32_t OutputPanes::BoundLineWidth(std::uint32_t lineWidth) {
    if (lineWidth == 0) return 1;
    return lineWidth > kMaxLineWidth ? kMaxLineWidth : lineWidth;
}

void OutputPanes::AllocateOrFallBack(TextPane& pane, std::uint32_t rows, std::uint32_t lineWidth) {
    if (pane.AllocatePaneBuffers(rows, lineWidth)) return;
    std::uint32_t& size = SizeSetting(pane);
    size = IsMessagePane(pane) ? kMessagePaneMinimum : kFilterPaneMinimum;
    // Never leave a pane without buffers, whatever the window's width: a
    // pane without them would drop every line.
    for (std::uint32_t width = lineWidth; width > 0; width /= 2) {
        if (pane.AllocatePaneBuffers(size, width)) return;
    }
}

void OutputPanes::CreatePanes(std::uint32_t lineWidth) {
    lineWidth = BoundLineWidth(lineWidth);
    for (TextPane* pane : {&message_, &filter_}) AllocateOrFallBack(*pane, SizeSetting(*pane), lineWidth);
    message_.ClearPane();
    filter_.ClearPane();
}

void OutputPanes::ResizePanes(std::uint32_t lineWidth) {
    lineWidth = BoundLineWidth(lineWidth);
    for (TextPane* pane : {&message_, &filter_}) {
        // The text stays: a new width re-flows it, the same width keeps it.
        if (pane->Reflow(lineWidth)) continue;
        AllocateOrFallBack(*pane, pane->capacity, lineWidth);
        pane->ClearPane();
    }
}

bool OutputPanes::SetScrollback(TextPane& pane, std::uint32_t rows) {
    const std::uint32_t width = pane.lineWidth == 0 ? 1 : pane.lineWidth;
    std::uint32_t& size = SizeSetting(pane);
    bool ok = pane.AllocatePaneBuffers(rows, width);
    size = rows;
    if (!ok) {
        size = IsMessagePane(pane) ? kMessagePaneMinimum : kFilterPaneMinimum;
        pane.AllocatePaneBuffers(size, width);
    }
    pane.ClearPane();
    return ok;
}

}  // namespace tolvane
