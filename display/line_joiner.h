// Turns a pane's completed rows back into whole lines: rows ended by the
// automatic wrap are joined with the row that follows. The command-line
// decoder prints these lines; tests compare them.
#pragma once

#include <functional>
#include <string>

#include "display/text_pane.h"

namespace tolvane {

class LineJoiner : public PaneView {
public:
    using LineHandler = std::function<void(const std::string& line)>;

    explicit LineJoiner(LineHandler handler) : handler_(std::move(handler)) {}

    void RowCompleted(const TextPane& pane, std::uint32_t row, bool wrapped) override {
        pending_ += pane.RowText(row);
        if (wrapped) return;
        handler_(pending_);
        pending_.clear();
    }

private:
    LineHandler handler_;
    std::string pending_;
};

}  // namespace tolvane
