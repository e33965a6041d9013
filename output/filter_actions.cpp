#include "output/filter_actions.h"

#include <algorithm>

#include "output/charset.h"
#include "output/filter_command.h"
#include "output/output_panes.h"
#include "output/page_log.h"
#include "settings/settings.h"
#include "world/outside_world.h"

namespace tolvane {

namespace {

bool TakesChannel(const FilterRecord& filter, std::string_view channel) {
    return filter.channel.empty() || filter.channel == channel;
}

constexpr char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

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

FilterActions::FilterActions(const Settings& settings, OutsideWorld& world, FileWatch& files, TextPane& filterPane)
    : settings_(settings), world_(world), files_(files), pane_(filterPane) {
    fileLine_.reserve(2 * kCurrentLineSize + 4 * kFilterLabelMax + 2);
    if (settings_.FilterFileEnabled) PrepareOutputName();
}

int FilterActions::FindCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud,
                                     std::string_view channel) const {
    const auto& filters = settings_.Filters;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        const FilterRecord& f = filters[i];
        if (f.type != type || !CapcodeMatch(capcodeText, f.capcode, n) || !TakesChannel(f, channel)) continue;
        if (FilterUsesFunction(type) && f.function != 0 && f.function != function) continue;
        if (FilterUsesBaud(type) && f.baud != 0 && f.baud != baud) continue;
        return static_cast<int>(i);
    }
    return -1;
}

FilterChoice FilterActions::Choose(std::string_view line, int messageStart, int capcodeFilter,
                                   std::string_view channel) const {
    FilterChoice choice;
    const auto& filters = settings_.Filters;
    if (capcodeFilter >= 0) {
        // The page's capcode filter alone decides; a table changed since it
        // was chosen leaves nothing to decide with.
        if (static_cast<std::size_t>(capcodeFilter) >= filters.size()) return choice;
        const FilterRecord& f = filters[static_cast<std::size_t>(capcodeFilter)];
        if (!f.text.empty()) {
            choice.textAt = FindFilterText(line, messageStart, f.text, &choice.textLength);
            if (choice.textAt < 0) return choice;
        }
        choice.filter = &f;
        choice.byCapcode = true;
        return choice;
    }
    for (const FilterRecord& f : filters) {
        if (f.type != FilterType::Text || !TakesChannel(f, channel)) continue;
        const int at = FindFilterText(line, messageStart, f.text, &choice.textLength);
        if (at < 0) continue;
        choice.filter = &f;
        choice.textAt = at;
        return choice;
    }
    return choice;
}

void FilterActions::Act(const FilterChoice& choice, const CurrentLine& line, std::string_view text) {
    std::unique_ptr<OutputFile> file;
    std::string problem;
    if (settings_.FilterFileEnabled && !outputName_.empty()) file = files_.OpenForAppend(outputName_, problem);

    // The copy shows what matched; the message pane keeps its colours.
    std::copy_n(line.attrs.begin(), text.size(), attrs_.begin());
    const auto highlight = [this, text](std::int32_t from, std::int32_t to) {
        const std::string_view part = LinePart(text, from, to);
        if (part.empty()) return;
        const auto first = static_cast<std::size_t>(part.data() - text.data());
        for (std::size_t i = first; i < first + part.size(); ++i) attrs_[i] = static_cast<std::uint8_t>(ColorClass::FilterMatch);
    };
    if (choice.byCapcode) highlight(line.capcodeStart, line.capcodeEnd);
    if (choice.textAt >= 0) highlight(choice.textAt, choice.textAt + choice.textLength);

    CopyToPane(choice, line, text);
    EndPlainRow(pane_, false);
    if (file) {
        fileLine_ += '\n';
        file->Write(fileLine_);
        if (settings_.FilterFileFlush) {
            if (settings_.FilterFlushTime == 1) {
                file->Flush();
            } else if (flushCountdown_ == 0) {
                flushCountdown_ = FlushTicks(settings_.FilterFlushTime);
            }
        }
        file.reset();
    }

    if (settings_.FilterBeep && !world_.sound.PlayFile("FILTER.WAV")) world_.sound.Beep();
    if (settings_.FilterCmdFileEnabled && !settings_.FilterCmdFile.empty() && choice.filter->command != 0) {
        StartCommand(*choice.filter, line, text);
    }
}

void FilterActions::CopyToPane(const FilterChoice& choice, const CurrentLine& line, std::string_view text) {
    const std::string& label = choice.filter->label;
    fileLine_.clear();
    // After the capcode field; a line without one (a ReFLEX dump) starts
    // with the label.
    const bool noField = line.capcodeEnd == 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<std::int32_t>(i) == line.capcodeEnd && !label.empty()) {
            // The label as typed, in cells: its letters show as the page's do.
            const std::string cells = TypedToLatin1(label, kFilterLabelMax);
            pane_.color = static_cast<std::uint8_t>(ColorClass::FilterLabel);
            if (!noField) PutPlainChar(pane_, ' ');
            std::size_t count = 0;
            for (const char c : cells) {
                if (c == '\0' || count++ == kPanePutTextLimit) break;
                PutPlainChar(pane_, static_cast<std::uint8_t>(c));
            }
            if (noField) PutPlainChar(pane_, ' ');
            if (!noField) fileLine_ += ' ';
            for (const char c : cells) AppendFileChar(fileLine_, static_cast<std::uint8_t>(c));
            if (noField) fileLine_ += ' ';
        }
        pane_.color = attrs_[i];
        PutPlainChar(pane_, line.chars[i]);
        AppendFileChar(fileLine_, line.chars[i]);
    }
}

void FilterActions::StartCommand(const FilterRecord& filter, const CurrentLine& line, std::string_view text) {
    const std::string_view capcode = LinePart(text, line.capcodeStart, line.capcodeEnd);
    const std::string_view message = LinePart(text, line.messageStart, static_cast<std::int32_t>(text.size()));
    // A command gets text as files do: the letters in UTF-8.
    const std::vector<std::string> args = BuildFilterCommandArgs(settings_.FilterCmdFile, settings_.FilterCmdArgs,
                                                                 capcode, filter.label, Latin1ToUtf8(message));
    // Whether it started is not reported: a filter command is best effort.
    (void)world_.commands.Start(settings_.FilterCmdFile, args);
}

void FilterActions::FlushTick() {
    // The filter file is open only while a line is written, so an expiring
    // countdown finds nothing to flush: every line was closed to disk.
    if (settings_.FilterFileFlush && flushCountdown_ != 0) --flushCountdown_;
}

void FilterActions::PrepareOutputName() {
    outputName_ = MakeFilterOutputName(settings_, DateFileName(world_.clock.Local()));
}

}  // namespace tolvane
