#include "output/output.h"

#include <cstring>

#include "world/outside_world.h"
#include "output/filter_command.h"

namespace tolvane {

namespace {

// Log and filter files show bytes with the top bit cleared and control codes
// as '.'.
char FileByte(std::uint8_t ch) {
    const auto low = static_cast<std::uint8_t>(ch & 0x7F);
    return low < 32 ? '.' : static_cast<char>(low);
}

constexpr char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A part [from, to) of the line, empty when the marks are out of order or
// beyond the line (marks are left over from earlier lines by design).
std::string_view LinePart(std::string_view line, std::int32_t from, std::int32_t to) {
    if (from < 0) from = 0;
    const auto length = static_cast<std::int32_t>(line.size());
    if (to > length) to = length;
    if (from >= to) return {};
    return line.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
}

}  // namespace

bool CapcodeMatch(const char* text, const char* pattern, int n) {
    for (int i = 0; i < n; ++i) {
        if (pattern[i] != '?' && text[i] != pattern[i]) return false;
    }
    return true;
}

bool CapcodeMatch(std::string_view text, std::string_view pattern, int n) {
    for (int i = 0; i < n; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const char p = at < pattern.size() ? pattern[at] : '\0';
        const char t = at < text.size() ? text[at] : '\0';
        if (p != '?' && t != p) return false;
    }
    return true;
}

int FindFilterText(std::string_view line, int messageStart, std::string_view text) {
    if (messageStart < 0) messageStart = 0;
    const std::size_t n = text.size();
    const auto start = static_cast<std::size_t>(messageStart);
    if (start + n > line.size()) return -1;
    for (std::size_t p = start; p + n <= line.size(); ++p) {
        std::size_t k = 0;
        while (k < n && FoldCase(line[p + k]) == FoldCase(text[k])) ++k;
        if (k == n) return static_cast<int>(p);
    }
    return -1;
}

Output::Output(Settings& settings, OutsideWorld& world) : settings_(settings), world_(world) {
    fileLine_.reserve(kCurrentLineSize + kFilterLabelMax + 2);
    if (settings_.FilterFileEnabled) PrepareFilterOutputName();
}

Output::~Output() = default;

std::uint32_t& Output::SizeSetting(const TextPane& pane) {
    return IsMessagePane(pane) ? settings_.Pane1Size : settings_.Pane2Size;
}

void Output::CreatePanes(std::uint32_t lineWidth) {
    if (lineWidth == 0) lineWidth = 1;
    for (TextPane* pane : {&MessagePane, &FilterPane}) {
        std::uint32_t& size = SizeSetting(*pane);
        if (!pane->AllocatePaneBuffers(size, lineWidth)) {
            size = IsMessagePane(*pane) ? kMessagePaneMinimum : kFilterPaneMinimum;
            pane->AllocatePaneBuffers(size, lineWidth);
        }
    }
    MessagePane.ClearPane();
    FilterPane.ClearPane();
}

void Output::ResizePanes(std::uint32_t lineWidth) {
    if (lineWidth == 0) lineWidth = 1;
    for (TextPane* pane : {&MessagePane, &FilterPane}) {
        // The text stays: a new width re-flows it, the same width keeps it.
        if (pane->Reflow(lineWidth)) continue;
        const std::uint32_t rows = pane->capacity;
        if (!pane->AllocatePaneBuffers(rows, lineWidth)) {
            // Never leave a pane without buffers: fall back to the minimum.
            std::uint32_t& size = SizeSetting(*pane);
            size = IsMessagePane(*pane) ? kMessagePaneMinimum : kFilterPaneMinimum;
            pane->AllocatePaneBuffers(size, lineWidth);
        }
        pane->ClearPane();
    }
}

bool Output::SetScrollback(TextPane& pane, std::uint32_t rows) {
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

std::uint32_t Output::FlushTicks(std::int32_t flushTime) {
    switch (flushTime) {
        case 2: return 50;
        case 3: return 100;
        case 4: return 300;
        default: return 600;
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
                LogFlushCountdown = FlushTicks(settings_.LogFlushTime);
            }
        }
    }
    if (pane.view != nullptr) pane.view->RowCompleted(pane, pane.row, wrapped);
    pane.column = 0;
    ++pane.row;
    if (IsMessagePane(pane) && !RowBreakOnly) CompleteMessageLine();
    pane.AdvancePane();
}

Output::FilterChoice Output::ChooseFilter(std::string_view line) const {
    FilterChoice choice;
    const auto& filters = settings_.Filters;
    if (CapcodeFilterIndex >= 0) {
        // The page's capcode filter alone decides; a table changed since it
        // was chosen leaves nothing to decide with.
        if (static_cast<std::size_t>(CapcodeFilterIndex) >= filters.size()) return choice;
        const FilterRecord& f = filters[static_cast<std::size_t>(CapcodeFilterIndex)];
        if (!f.text.empty()) {
            choice.textAt = FindFilterText(line, line_.messageStart, f.text);
            if (choice.textAt < 0) return choice;
            choice.textLength = static_cast<int>(f.text.size());
        }
        choice.filter = &f;
        choice.byCapcode = true;
        return choice;
    }
    for (const FilterRecord& f : filters) {
        if (f.type != FilterType::Text) continue;
        const int at = FindFilterText(line, line_.messageStart, f.text);
        if (at < 0) continue;
        choice.filter = &f;
        choice.textAt = at;
        choice.textLength = static_cast<int>(f.text.size());
        return choice;
    }
    return choice;
}

void Output::CompleteMessageLine() {
    const auto length = static_cast<std::size_t>(line_.length);
    line_.chars[length] = 0;
    line_.attrs[length] = 0;
    // The line as the filters see it: up to its first 0 byte.
    const auto* chars = reinterpret_cast<const char*>(line_.chars.data());
    const std::string_view line(chars, ::strnlen(chars, length));

    const FilterChoice choice = ChooseFilter(line);
    if (choice.filter != nullptr) {
        std::unique_ptr<OutputFile> file;
        if (settings_.FilterFileEnabled && !FilterOutputName.empty()) file = world_.files.OpenForAppend(FilterOutputName);

        // The copy shows what matched; the message pane keeps its colours.
        const auto highlight = [this, &line](std::int32_t from, std::int32_t to) {
            const std::string_view part = LinePart(line, from, to);
            if (part.empty()) return;
            const auto first = static_cast<std::size_t>(part.data() - line.data());
            for (std::size_t i = first; i < first + part.size(); ++i) line_.attrs[i] = static_cast<std::uint8_t>(ColorClass::FilterMatch);
        };
        if (choice.byCapcode) highlight(line_.capcodeStart, line_.capcodeEnd);
        if (choice.textAt >= 0) highlight(choice.textAt, choice.textAt + choice.textLength);

        CopyToFilterPane(choice, line, file.get());
        PaneEndLine(FilterPane);
        if (file) {
            file->Write("\n");
            if (settings_.FilterFileFlush) {
                if (settings_.FilterFlushTime == 1) {
                    file->Flush();
                } else if (FilterFlushCountdown == 0) {
                    FilterFlushCountdown = FlushTicks(settings_.FilterFlushTime);
                }
            }
            file.reset();
        }

        if (settings_.FilterBeep && !world_.sound.PlayFile("FILTER.WAV")) world_.sound.Beep();
        if (settings_.FilterCmdFileEnabled && !settings_.FilterCmdFile.empty() && choice.filter->command != 0) {
            StartFilterCommand(*choice.filter, line);
        }
    }
    line_.length = 0;
}

void Output::CopyToFilterPane(const FilterChoice& choice, std::string_view line, OutputFile* file) {
    const std::string& label = choice.filter->label;
    fileLine_.clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (static_cast<std::int32_t>(i) == line_.capcodeEnd && !label.empty()) {
            PaneSetColor(FilterPane, ColorClass::FilterLabel);
            PanePutChar(FilterPane, ' ');
            PanePutText(FilterPane, label);
            fileLine_ += ' ';
            fileLine_ += label;
        }
        FilterPane.color = line_.attrs[i];
        PanePutChar(FilterPane, line_.chars[i]);
        fileLine_ += FileByte(line_.chars[i]);
    }
    if (file != nullptr) file->Write(fileLine_);
}

void Output::StartFilterCommand(const FilterRecord& filter, std::string_view line) {
    const std::string_view capcode = LinePart(line, line_.capcodeStart, line_.capcodeEnd);
    const std::string_view message = LinePart(line, line_.messageStart, static_cast<std::int32_t>(line.size()));
    const std::vector<std::string> args =
        BuildFilterCommandArgs(settings_.FilterCmdFile, settings_.FilterCmdArgs, capcode, filter.label, message);
    // Whether it started is not reported: a filter command is best effort.
    (void)world_.commands.Start(settings_.FilterCmdFile, args);
}

void Output::SelectCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud) {
    CapcodeFilterIndex = -1;
    const auto& filters = settings_.Filters;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        const FilterRecord& f = filters[i];
        if (f.type != type || !CapcodeMatch(capcodeText, f.capcode, n)) continue;
        if (FilterUsesFunction(type) && f.function != 0 && f.function != function) continue;
        if (FilterUsesBaud(type) && f.baud != 0 && f.baud != baud) continue;
        CapcodeFilterIndex = static_cast<int>(i);
        if (f.reject != 0) SuppressOutput = true;
        return;
    }
}

void Output::OpenLog(const std::string& dateBaseName) {
    CloseLog();
    const std::string name = settings_.LogFileUseDate ? dateBaseName + ".LOG" : settings_.LogFile;
    if (!name.empty()) log_ = world_.files.OpenForAppend(name);
}

void Output::CloseLog() { log_.reset(); }

void Output::FlushTick() {
    if (settings_.LogFileFlush && LogFlushCountdown != 0 && --LogFlushCountdown == 0 && log_) log_->Flush();
    // The filter file is open only while a line is written, so an expiring
    // countdown finds nothing to flush: every line was closed to disk.
    if (settings_.FilterFileFlush && FilterFlushCountdown != 0) --FilterFlushCountdown;
}

void Output::PrepareFilterOutputName() {
    FilterOutputName = MakeFilterOutputName(settings_, DateFileName(world_.clock.Local()));
}

}  // namespace tolvane
