#include "output/output.h"

#include <algorithm>
#include <cstring>

#include "output/charset.h"

namespace tolvane {

Output::Output(const Settings& settings, const WallClock& clock, OutputPanes& panes, PageLog& log,
               FilterActions& filters, RecordEmitter& records)
    : MessagePane(panes.Message()),
      FilterPane(panes.Filter()),
      settings_(settings),
      clock_(clock),
      log_(log),
      filters_(filters),
      records_(records),
      writer_(*this, settings, clock) {
    held_.reserve(kRecordLineMax);
    recordLine_.reserve(kRecordLineMax);
}

void Output::SetLinePrefix(std::string_view typedText) {
    linePrefix_ = typedText.empty() ? std::string() : TypedToLatin1(typedText, kChannelNameMax) + ' ';
}

void Output::OpenRow() {
    if (rowOpen_ || linePrefix_.empty() || suppress_ || !MessagePane.HasBuffers()) return;
    rowOpen_ = true;
    const std::uint8_t color = MessagePane.color;
    MessagePane.color = static_cast<std::uint8_t>(ColorClass::Timestamp);
    for (const char c : linePrefix_) PanePutChar(MessagePane, static_cast<std::uint8_t>(c));
    MessagePane.color = color;
}

void Output::PanePutChar(TextPane& pane, std::uint8_t ch) {
    if (suppress_ || !pane.HasBuffers()) return;
    if (!IsMessagePane(pane)) {
        PutPlainChar(pane, ch);
        return;
    }
    OpenRow();
    if (holding_ && !rowBreakOnly_) {
        // The cells wait for the end of the line; CurrentLine and its marks
        // are kept as usual, for the comparison.
        if (held_.size() < kRecordLineMax) held_.emplace_back(ch, pane.color);
        if (ch != 0) CollectIntoLine(ch, pane.color);
        return;
    }
    log_.PutChar(ch);
    if (ch == 0) {
        // A row's text ends at its first 0 cell, so a 0 byte from the air
        // would hide the rest of the message; it is what POCSAG fills the
        // end of a text with, so the pane and the line skip it and only the
        // log and the page record keep it.
        if (records_.Active() && !rowBreakOnly_) CollectForRecord('\0');
        return;
    }
    pane.PutCell(ch, pane.color);
    if (!rowBreakOnly_) {
        CollectIntoLine(ch, pane.color);
        if (records_.Active()) {
            CollectForRecord(static_cast<char>(ch));
            if (pane.color == static_cast<std::uint8_t>(ColorClass::BitErrors)) recordErrors_ = true;
        }
    }
    if (++pane.column == pane.lineWidth) {
        const bool saved = rowBreakOnly_;
        rowBreakOnly_ = true;
        PaneEndLine(pane);
        rowBreakOnly_ = saved;
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
    if (suppress_) return;
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

void Output::PaneEndLine(TextPane& pane) {
    if (!rowBreakOnly_ && suppress_) {
        suppress_ = false;
        ForgetPage();
        return;
    }
    if (!IsMessagePane(pane)) {
        // Distinguish a wrap (called from PanePutChar with the cursor at the
        // end of the row) for the views that join wrapped rows.
        EndPlainRow(pane, rowBreakOnly_ && pane.column == pane.lineWidth);
        return;
    }
    if (holding_ && !rowBreakOnly_ && FoldRepeat()) {
        rowOpen_ = false;
        return;
    }
    if (!pane.HasBuffers()) return;
    const bool wrapped = rowBreakOnly_ && pane.column == pane.lineWidth;
    if (!wrapped) rowOpen_ = false;
    pane.TerminateRow();
    log_.EndRow(wrapped, !rowBreakOnly_);
    if (pane.view != nullptr) pane.view->RowCompleted(pane, pane.row, wrapped);
    pane.column = 0;
    ++pane.row;
    if (!rowBreakOnly_) CompleteMessageLine();
    pane.AdvancePane();
}

void Output::CompleteMessageLine() {
    const auto length = static_cast<std::size_t>(line_.length);
    line_.chars[length] = 0;
    line_.attrs[length] = 0;
    // The line as the filters see it: up to its first 0 byte.
    const auto* chars = reinterpret_cast<const char*>(line_.chars.data());
    const std::string_view line(chars, ::strnlen(chars, length));

    const FilterChoice choice = filters_.Choose(line, line_.messageStart, capcodeFilter_, channel_);
    if (choice.filter != nullptr) filters_.Act(choice, line_, line);
    if (records_.Active() && described_) EmitRecord(choice.filter);
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
                          clock_.NowMilliseconds(), windowMs)) {
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

void Output::ForgetPage() {
    holding_ = false;
    held_.clear();
    described_ = false;
    capcodeLength_ = 0;
    // The next line may have no capcode field (a ReFLEX dump): it must not
    // go out under this page's capcode filter, with its label put where
    // this page's capcode ended, or be searched only past its message mark.
    capcodeFilter_ = -1;
    line_.capcodeStart = line_.capcodeEnd = line_.messageStart = 0;
    recordLine_.clear();
    recordErrors_ = false;
    recordTruncated_ = false;
}

void Output::EmitRecord(const FilterRecord* filter) {
    PageRecord record;
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
    record.channel = channel_;
    record.frequencyHz = frequencyHz_;
    records_.Emit(record, linePrefix_.empty() ? std::string_view() : std::string_view(channel_));
}

void Output::SelectCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud) {
    // A page begins here: with RepeatWindow on its cells wait for its end.
    holding_ = settings_.RepeatWindow > 0 || !linePrefix_.empty();
    held_.clear();
    capcodeLength_ = std::min({capcodeText.size(), static_cast<std::size_t>(n < 0 ? 0 : n), capcode_.size()});
    std::copy_n(capcodeText.begin(), capcodeLength_, capcode_.begin());
    pageCharset_ = CharsetOfSetting(settings_.Charset);
    capcodeFilter_ = filters_.FindCapcodeFilter(type, capcodeText, n, function, baud, channel_);
    if (capcodeFilter_ < 0) return;
    const FilterRecord& f = settings_.Filters[static_cast<std::size_t>(capcodeFilter_)];
    if (f.reject != 0) suppress_ = true;
    if (f.charset != 0) pageCharset_ = CharsetOfSetting(f.charset - 1);
}

}  // namespace tolvane
