#include "output/output.h"

#include "engine/outside_world.h"

namespace tolvane {

namespace {

// Log and filter files show bytes with the top bit cleared and control codes
// as '.'.
char FileByte(std::uint8_t ch) {
    const auto low = static_cast<std::uint8_t>(ch & 0x7F);
    return low < 32 ? '.' : static_cast<char>(low);
}

}  // namespace

bool CapcodeMatch(const char* text, const char* pattern, int n) {
    for (int i = 0; i < n; ++i) {
        if (pattern[i] != '?' && text[i] != pattern[i]) return false;
    }
    return true;
}

Output::Output(const Settings& settings, OutsideWorld& world) : settings_(settings), world_(world) {}

Output::~Output() = default;

void Output::CreatePanes(std::uint32_t lineWidth) {
    if (lineWidth == 0) lineWidth = 1;
    if (!MessagePane.AllocatePaneBuffers(settings_.Pane1Size, lineWidth)) MessagePane.AllocatePaneBuffers(1000, lineWidth);
    if (!FilterPane.AllocatePaneBuffers(settings_.Pane2Size, lineWidth)) FilterPane.AllocatePaneBuffers(200, lineWidth);
    MessagePane.ClearPane();
    FilterPane.ClearPane();
}

void Output::PanePutChar(TextPane& pane, std::uint8_t ch) {
    if (SuppressOutput || !pane.HasBuffers()) return;
    pane.PutCell(ch, pane.color);
    if (IsMessagePane(pane) && settings_.LogFileEnabled && log_) {
        const char byte = FileByte(ch);
        log_->Write(std::string_view(&byte, 1));
    }
    if (IsMessagePane(pane) && !RowBreakOnly && line_.length < static_cast<std::int32_t>(kCurrentLineSize) - 1) {
        line_.chars[static_cast<std::size_t>(line_.length)] = ch;
        line_.attrs[static_cast<std::size_t>(line_.length)] = pane.color;
        ++line_.length;
    }
    if (++pane.column == pane.lineWidth) {
        const bool saved = RowBreakOnly;
        RowBreakOnly = true;
        PaneEndLine(pane);
        RowBreakOnly = saved;
    }
}

void Output::PanePutText(TextPane& pane, std::string_view text) {
    if (SuppressOutput) return;
    std::size_t count = 0;
    for (const char c : text) {
        if (c == '\0' || count == kPanePutTextLimit) break;
        PanePutChar(pane, static_cast<std::uint8_t>(c));
        ++count;
    }
}

void Output::PaneEndLine(TextPane& pane) {
    if (!RowBreakOnly && SuppressOutput) {
        SuppressOutput = false;
        return;
    }
    if (!pane.HasBuffers()) return;
    // Distinguish a wrap (called from PanePutChar with the cursor at the end
    // of the row) for the views that join wrapped rows.
    const bool wrapped = RowBreakOnly && pane.column == pane.lineWidth;
    pane.TerminateRow();
    if (IsMessagePane(pane) && settings_.LogFileEnabled && log_) {
        log_->Write("\n");
        if (!RowBreakOnly && settings_.LogFileFlush) {
            if (settings_.LogFlushTime == 1) {
                log_->Flush();
            } else if (LogFlushCountdown == 0) {
                switch (settings_.LogFlushTime) {
                    case 2: LogFlushCountdown = 50; break;
                    case 3: LogFlushCountdown = 100; break;
                    case 4: LogFlushCountdown = 300; break;
                    default: LogFlushCountdown = 600; break;
                }
            }
        }
    }
    if (pane.view != nullptr) pane.view->RowCompleted(pane, pane.row, wrapped);
    pane.column = 0;
    ++pane.row;
    if (IsMessagePane(pane) && !RowBreakOnly) CompleteMessageLine();
    pane.AdvancePane();
}

void Output::CompleteMessageLine() {
    line_.chars[static_cast<std::size_t>(line_.length)] = 0;
    line_.attrs[static_cast<std::size_t>(line_.length)] = 0;
    // Filters, filter pane copy, filter file, beep and command come here.
    line_.length = 0;
}

void Output::SelectCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud) {
    CapcodeFilterIndex = -1;
    (void)type;
    (void)capcodeText;
    (void)n;
    (void)function;
    (void)baud;
}

void Output::OpenLog(const std::string& dateBaseName) {
    CloseLog();
    const std::string name = settings_.LogFileUseDate ? dateBaseName + ".LOG" : settings_.LogFile;
    if (!name.empty()) log_ = world_.files.OpenForAppend(name);
}

void Output::CloseLog() { log_.reset(); }

void Output::FlushTick() {
    if (settings_.LogFileFlush && LogFlushCountdown != 0 && --LogFlushCountdown == 0 && log_) log_->Flush();
    if (settings_.FilterFileFlush && FilterFlushCountdown != 0) --FilterFlushCountdown;
}

}  // namespace tolvane
