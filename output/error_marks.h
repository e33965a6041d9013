// For tolvane-cli --mark-errors: whole lines as LineJoiner gives them, but
// with every run of cells in the bit-error colour enclosed in « and », so
// that a script can tell text the receiver flagged as damaged from text it
// vouches for. Bytes outside printable ASCII are shown as '.', which keeps
// the two marks unambiguous.
#pragma once

#include <functional>
#include <string>

#include "display/text_pane.h"
#include "settings/settings.h"

namespace tolvane {

inline constexpr const char kErrorMarkOpen[] = "\u00ab";
inline constexpr const char kErrorMarkClose[] = "\u00bb";

class ErrorMarkingJoiner : public PaneView {
public:
    using LineHandler = std::function<void(const std::string& line)>;

    explicit ErrorMarkingJoiner(LineHandler handler) : handler_(std::move(handler)) {}

    void RowCompleted(const TextPane& pane, std::uint32_t row, bool wrapped) override {
        const std::uint8_t* chars = pane.CharsOfRow(row);
        const std::uint8_t* attrs = pane.AttrsOfRow(row);
        for (std::uint32_t i = 0; i < pane.lineWidth && chars[i] != 0; ++i) {
            const bool damaged = attrs[i] == static_cast<std::uint8_t>(ColorClass::BitErrors);
            if (damaged != inMark_) pending_ += damaged ? kErrorMarkOpen : kErrorMarkClose;
            inMark_ = damaged;
            pending_ += chars[i] >= 0x20 && chars[i] < 0x7F ? static_cast<char>(chars[i]) : '.';
        }
        if (wrapped) return;  // a run may continue on the next row
        if (inMark_) pending_ += kErrorMarkClose;
        inMark_ = false;
        handler_(pending_);
        pending_.clear();
    }

private:
    LineHandler handler_;
    std::string pending_;
    bool inMark_ = false;
};

}  // namespace tolvane
