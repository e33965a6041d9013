#include "output/output.h"

#include <algorithm>
#include <cstring>

#include "world/outside_world.h"
#include "output/charset.h"
#include "output/filter_command.h"

namespace tolvane {

namespace {

// Log and filter files show control codes as '.' and the letters of the
// national charsets (Latin-1 from 0xA0 on) in UTF-8; other bytes with the
// top bit set lose it.
void AppendFileChar(std::string& out, std::uint8_t ch) {
    if (ch >= 0xA0) {
        AppendLatin1AsUtf8(out, ch);
        return;
    }
    const auto low = static_cast<std::uint8_t>(ch & 0x7F);
    out += low < 32 ? '.' : static_cast<char>(low);
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

int FindFilterText(std::string_view line, int messageStart, std::string_view text, int* cells) {
    if (messageStart < 0) messageStart = 0;
    // The text as cells: a filter text holds at most kFilterTextMax
    // characters, a longer one (a hand-edited file) is cut there too.
    std::array<char, kFilterTextMax> wanted{};
    std::size_t n = 0;
    for (std::size_t at = 0; at < text.size() && n < wanted.size();) {
        const char32_t c = NextTypedChar(text, at);
        if (c > 0xFF) return -1;  // no cell holds it
        wanted[n++] = FoldCase(static_cast<char>(static_cast<std::uint8_t>(c)));
    }
    const auto start = static_cast<std::size_t>(messageStart);
    if (start + n > line.size()) return -1;
    for (std::size_t p = start; p + n <= line.size(); ++p) {
        std::size_t k = 0;
        while (k < n && FoldCase(line[p + k]) == wanted[k]) ++k;
        if (k == n) {
            if (cells != nullptr) *cells = static_cast<int>(n);
            return static_cast<int>(p);
        }
    }
    return -1;
}

Output::Output(Settings& settings, OutsideWorld& world)
    : settings_(settings), world_(world), files_(world.files, world.fileStatus) {
    fileLine_.reserve(2 * kCurrentLineSize + 4 * kFilterLabelMax + 2);
    held_.reserve(kRecordLineMax);
    if (settings_.FilterFileEnabled) PrepareFilterOutputName();
}

Output::~Output() = default;

std::uint32_t& Output::SizeSetting(const TextPane& pane) {
    return IsMessagePane(pane) ? settings_.Pane1Size : settings_.Pane2Size;
}

std::uint32_t Output::BoundLineWidth(std::uint32_t lineWidth) {
    if (lineWidth == 0) return 1;
    return lineWidth > kMaxLineWidth ? kMaxLineWidth : lineWidth;
}

void Output::AllocateOrFallBack(TextPane& pane, std::uint32_t rows, std::uint32_t lineWidth) {
    if (pane.AllocatePaneBuffers(rows, lineWidth)) return;
    std::uint32_t& size = SizeSetting(pane);
    size = IsMessagePane(pane) ? kMessagePaneMinimum : kFilterPaneMinimum;
    // Never leave a pane without buffers, whatever the window's width: a
    // pane without them would drop every line.
    for (std::uint32_t width = lineWidth; width > 0; width /= 2) {
        if (pane.AllocatePaneBuffers(size, width)) return;
    }
}

void Output::CreatePanes(std::uint32_t lineWidth) {
    lineWidth = BoundLineWidth(lineWidth);
    for (TextPane* pane : {&MessagePane, &FilterPane}) AllocateOrFallBack(*pane, SizeSetting(*pane), lineWidth);
    MessagePane.ClearPane();
    FilterPane.ClearPane();
    ReserveLogLine();
}

void Output::ResizePanes(std::uint32_t lineWidth) {
    lineWidth = BoundLineWidth(lineWidth);
    for (TextPane* pane : {&MessagePane, &FilterPane}) {
        // The text stays: a new width re-flows it, the same width keeps it.
        if (pane->Reflow(lineWidth)) continue;
        AllocateOrFallBack(*pane, pane->capacity, lineWidth);
        pane->ClearPane();
    }
    ReserveLogLine();
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
    if (holding_ && IsMessagePane(pane) && !RowBreakOnly) {
        // The cells wait for the end of the line; CurrentLine and its marks
        // are kept as usual, for the comparison.
        if (held_.size() < kRecordLineMax) held_.emplace_back(ch, pane.color);
        if (ch != 0) CollectIntoLine(ch, pane.color);
        return;
    }
    if (IsMessagePane(pane) && settings_.LogFileEnabled) AppendFileChar(logRow_, ch);
    if (ch == 0) {
        // A row's text ends at its first 0 cell, so a 0 byte from the air
        // would hide the rest of the message; it is what POCSAG fills the
        // end of a text with, so the pane and the line skip it and only the
        // log and the page record keep it.
        if (records_ != nullptr && IsMessagePane(pane) && !RowBreakOnly) CollectForRecord('\0');
        return;
    }
    pane.PutCell(ch, pane.color);
    if (IsMessagePane(pane) && !RowBreakOnly) CollectIntoLine(ch, pane.color);
    if (records_ != nullptr && IsMessagePane(pane) && !RowBreakOnly) {
        CollectForRecord(static_cast<char>(ch));
        if (pane.color == static_cast<std::uint8_t>(ColorClass::BitErrors)) recordErrors_ = true;
    }
    if (++pane.column == pane.lineWidth) {
        const bool saved = RowBreakOnly;
        RowBreakOnly = true;
        PaneEndLine(pane);
        RowBreakOnly = saved;
    }
}

void Output::CollectIntoLine(std::uint8_t ch, std::uint8_t color) {
    if (line_.length >= static_cast<std::int32_t>(kCurrentLineSize) - 1) return;
    line_.chars[static_cast<std::size_t>(line_.length)] = ch;
    line_.attrs[static_cast<std::size_t>(line_.length)] = color;
    ++line_.length;
}

void Output::PutTextChar(std::uint8_t ch) { PanePutChar(MessagePane, NationalLetter(pageCharset_, ch)); }

void Output::PanePutText(TextPane& pane, std::string_view text) {
    if (SuppressOutput) return;
    std::size_t count = 0;
    for (const char c : text) {
        if (c == '\0' || count == kPanePutTextLimit) break;
        PanePutChar(pane, static_cast<std::uint8_t>(c));
        ++count;
    }
}

void Output::CollectForRecord(char ch) {
    if (recordLine_.size() < kRecordLineMax) {
        recordLine_ += ch;
    } else {
        recordTruncated_ = true;
    }
}

void Output::ReserveLogLine() {
    // A line and the breaks of its rows; a longer one grows it once.
    const std::size_t width = MessagePane.lineWidth == 0 ? 1 : MessagePane.lineWidth;
    logRow_.reserve(kCurrentLineSize + kCurrentLineSize / width + 2);
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
        ForgetPage();
        return;
    }
    if (holding_ && IsMessagePane(pane) && !RowBreakOnly && FoldRepeat()) return;
    if (!pane.HasBuffers()) return;
    // Distinguish a wrap (called from PanePutChar with the cursor at the end
    // of the row) for the views that join wrapped rows.
    const bool wrapped = RowBreakOnly && pane.column == pane.lineWidth;
    pane.TerminateRow();
    if (IsMessagePane(pane) && settings_.LogFileEnabled) {
        logRow_ += '\n';
        // The rows of a wrapped line go out together, in one write, so that
        // another monitor appending to the same log cannot come between them.
        if (!wrapped) WriteLogRow();
        if (log_ && !RowBreakOnly && settings_.LogFileFlush) {
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
            choice.textAt = FindFilterText(line, line_.messageStart, f.text, &choice.textLength);
            if (choice.textAt < 0) return choice;
        }
        choice.filter = &f;
        choice.byCapcode = true;
        return choice;
    }
    for (const FilterRecord& f : filters) {
        if (f.type != FilterType::Text) continue;
        const int at = FindFilterText(line, line_.messageStart, f.text, &choice.textLength);
        if (at < 0) continue;
        choice.filter = &f;
        choice.textAt = at;
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
        std::string problem;
        if (settings_.FilterFileEnabled && !FilterOutputName.empty()) file = files_.OpenForAppend(FilterOutputName, problem);

        // The copy shows what matched; the message pane keeps its colours.
        const auto highlight = [this, &line](std::int32_t from, std::int32_t to) {
            const std::string_view part = LinePart(line, from, to);
            if (part.empty()) return;
            const auto first = static_cast<std::size_t>(part.data() - line.data());
            for (std::size_t i = first; i < first + part.size(); ++i) line_.attrs[i] = static_cast<std::uint8_t>(ColorClass::FilterMatch);
        };
        if (choice.byCapcode) highlight(line_.capcodeStart, line_.capcodeEnd);
        if (choice.textAt >= 0) highlight(choice.textAt, choice.textAt + choice.textLength);

        CopyToFilterPane(choice, line);
        PaneEndLine(FilterPane);
        if (file) {
            fileLine_ += '\n';
            file->Write(fileLine_);
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
    if (records_ != nullptr && described_) EmitRecord(choice.filter);
    ForgetPage();
    line_.length = 0;
}

bool Output::FoldRepeat() {
    holding_ = false;
    const auto* chars = reinterpret_cast<const char*>(line_.chars.data());
    const std::string_view line(chars, static_cast<std::size_t>(line_.length));
    const std::string_view message = LinePart(line, line_.messageStart, line_.length);
    const std::int64_t windowMs = std::int64_t{settings_.RepeatWindow} * 1000;
    const int protocol = described_ ? static_cast<int>(facts_.protocol) : -1;
    if (repeats_.IsRepeat(protocol, std::string_view(capcode_.data(), capcodeLength_), message,
                          world_.clock.NowMilliseconds(), windowMs)) {
        held_.clear();
        line_.length = 0;
        ForgetPage();
        return true;
    }
    // Written out as it would have been at once; CurrentLine is collected
    // again, to the same characters and marks.
    const std::uint8_t color = MessagePane.color;
    line_.length = 0;
    for (const auto& [ch, cellColor] : held_) {
        MessagePane.color = cellColor;
        PanePutChar(MessagePane, ch);
    }
    held_.clear();
    MessagePane.color = color;
    return false;
}

void Output::SetRecordSink(RecordSink* sink, std::string receiver) {
    records_ = sink;
    receiver_ = std::move(receiver);
    if (sink != nullptr) recordLine_.reserve(kRecordLineMax);
    ForgetPage();
}

void Output::ForgetPage() {
    holding_ = false;
    held_.clear();
    described_ = false;
    capcodeLength_ = 0;
    recordLine_.clear();
    recordErrors_ = false;
    recordTruncated_ = false;
}

void Output::EmitRecord(const FilterRecord* filter) {
    PageRecord record;
    record.timeMs = world_.clock.NowMilliseconds();
    record.utcOffsetMinutes = world_.clock.UtcOffsetMinutes();
    record.receiver = receiver_;
    record.facts = facts_;
    record.capcode = std::string_view(capcode_.data(), capcodeLength_);
    record.line = recordLine_;
    // A line without a capcode field (the ReFLEX dump) sets no message mark
    // either: all of it is the message.
    record.message = capcodeLength_ == 0
                         ? std::string_view(recordLine_)
                         : LinePart(recordLine_, line_.messageStart, static_cast<std::int32_t>(recordLine_.size()));
    record.errors = recordErrors_;
    record.truncated = recordTruncated_;
    if (filter != nullptr) record.filter = filter->label;
    records_->PageRecorded(PageRecordJson(record));
}

void Output::CopyToFilterPane(const FilterChoice& choice, std::string_view line) {
    const std::string& label = choice.filter->label;
    fileLine_.clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (static_cast<std::int32_t>(i) == line_.capcodeEnd && !label.empty()) {
            // The label as typed, in cells: its letters show as the page's do.
            const std::string cells = TypedToLatin1(label, kFilterLabelMax);
            PaneSetColor(FilterPane, ColorClass::FilterLabel);
            PanePutChar(FilterPane, ' ');
            PanePutText(FilterPane, cells);
            fileLine_ += ' ';
            for (const char c : cells) AppendFileChar(fileLine_, static_cast<std::uint8_t>(c));
        }
        FilterPane.color = line_.attrs[i];
        PanePutChar(FilterPane, line_.chars[i]);
        AppendFileChar(fileLine_, line_.chars[i]);
    }
}

void Output::StartFilterCommand(const FilterRecord& filter, std::string_view line) {
    const std::string_view capcode = LinePart(line, line_.capcodeStart, line_.capcodeEnd);
    const std::string_view message = LinePart(line, line_.messageStart, static_cast<std::int32_t>(line.size()));
    // A command gets text as files do: the letters in UTF-8.
    const std::vector<std::string> args = BuildFilterCommandArgs(settings_.FilterCmdFile, settings_.FilterCmdArgs,
                                                                 capcode, filter.label, Latin1ToUtf8(message));
    // Whether it started is not reported: a filter command is best effort.
    (void)world_.commands.Start(settings_.FilterCmdFile, args);
}

void Output::SelectCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud) {
    // A page begins here: with RepeatWindow on its cells wait for its end.
    holding_ = settings_.RepeatWindow > 0;
    held_.clear();
    capcodeLength_ = std::min({capcodeText.size(), static_cast<std::size_t>(n < 0 ? 0 : n), capcode_.size()});
    std::copy_n(capcodeText.begin(), capcodeLength_, capcode_.begin());
    CapcodeFilterIndex = -1;
    pageCharset_ = CharsetOfSetting(settings_.Charset);
    const auto& filters = settings_.Filters;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        const FilterRecord& f = filters[i];
        if (f.type != type || !CapcodeMatch(capcodeText, f.capcode, n)) continue;
        if (FilterUsesFunction(type) && f.function != 0 && f.function != function) continue;
        if (FilterUsesBaud(type) && f.baud != 0 && f.baud != baud) continue;
        CapcodeFilterIndex = static_cast<int>(i);
        if (f.reject != 0) SuppressOutput = true;
        if (f.charset != 0) pageCharset_ = CharsetOfSetting(f.charset - 1);
        return;
    }
}

void Output::OpenLog(const std::string& dateBaseName) {
    CloseLog();
    logName_ = settings_.LogFileUseDate ? dateBaseName + ".LOG" : settings_.LogFile;
    std::string problem;
    if (!logName_.empty()) log_ = files_.OpenForAppend(logName_, problem);
}

void Output::CloseLog() {
    // A line cut short by closing is written as far as it got.
    if (!logRow_.empty()) WriteLogRow();
    log_.reset();
    logName_.clear();
}

void Output::WriteLogRow() {
    if (!log_ && !logName_.empty()) {
        // The directory may exist again, the disk have room, the FIFO a reader.
        std::string problem;
        log_ = files_.OpenForAppend(logName_, problem);
    }
    if (log_) log_->Write(logRow_);
    logRow_.clear();
}

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
