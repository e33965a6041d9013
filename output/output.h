// The emission operations: the only way decoders write text. One Output
// builds the lines of one receiver: characters go into the message pane's
// grid, into its CurrentLine (the page line being composed, with marks for
// the capcode field and the message) and into the log. PaneEndLine
// completes a row and, for a page line, runs the filters and sends its
// record. The panes, the log, the filter actions and the record emitter
// are shared parts it is given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "display/text_pane.h"
#include "output/current_line.h"
#include "output/filter_actions.h"
#include "output/output_panes.h"
#include "output/page_log.h"
#include "output/page_record.h"
#include "output/record_emitter.h"
#include "output/repeat_fold.h"
#include "settings/filter_record.h"
#include "settings/settings.h"

namespace tolvane {

class Output {
public:
    // The settings are read as they are at each call (the dialogs change
    // them).
    Output(const Settings& settings, const WallClock& clock, OutputPanes& panes, PageLog& log,
           FilterActions& filters, RecordEmitter& records);

    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void PaneSetColor(TextPane& pane, ColorClass colorClass) { pane.color = static_cast<std::uint8_t>(colorClass); }
    void PanePutChar(TextPane& pane, std::uint8_t ch);
    void PanePutChar(TextPane& pane, char ch) { PanePutChar(pane, static_cast<std::uint8_t>(ch)); }
    // Stops at the first 0 byte or after kPanePutTextLimit characters.
    void PanePutText(TextPane& pane, std::string_view text);
    // One character of a page's 7-bit text: shown as the letter it stands
    // for in the page's charset (its capcode filter's, else Charset).
    void PutTextChar(std::uint8_t ch);
    void PaneEndLine(TextPane& pane);

    // The capcode field that starts every page line: the text in the
    // capcode colour, marked for the filters, and a space.
    void PutCapcodeField(std::string_view text) {
        MarkCapcodeStart();
        PaneSetColor(MessagePane, ColorClass::Capcode);
        PanePutText(MessagePane, text);
        MarkCapcodeEnd();
        PanePutChar(MessagePane, ' ');
    }
    void MarkCapcodeStart() {
        OpenRow();
        line_.capcodeStart = line_.length;
    }
    void MarkCapcodeEnd() { line_.capcodeEnd = line_.length; }
    void MarkMessageStart() { line_.messageStart = line_.length; }

    // Rows written while this is on (frame rows, sync headers) are no page
    // line: they are shown and logged, never collected, filtered or recorded.
    void SetRowBreakOnly(bool on) { rowBreakOnly_ = on; }
    bool RowBreakOnly() const { return rowBreakOnly_; }

    // Chooses the capcode filter of the page about to be written; a
    // rejecting filter suppresses the whole page. function/baud 0 = not compared.
    void SelectCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud);
    // The filters changed: the one chosen for the page being written may be gone.
    void ForgetCapcodeFilter() { capcodeFilter_ = -1; }
    // True while the page being written is suppressed; its line end clears it.
    bool Suppressed() const { return suppress_; }

    // Machine-readable records: a decoder describes the page it is writing
    // (together with the capcode given to SelectCapcodeFilter); its completed
    // line then goes to the record emitter as one record. Lines nobody
    // described (frame rows, sync headers) and rejected pages give none.
    void DescribePage(const PageFacts& facts) {
        facts_ = facts;
        described_ = true;
    }
    // The emitter's sink changed: the page being written starts afresh.
    void RecordSinkChanged() { ForgetPage(); }

    // The channel this receiver decodes (IQ input), for the page records;
    // an empty name and 0 Hz: none (the records then name no channel).
    void SetChannel(std::string name, double frequencyHz) {
        channel_ = std::move(name);
        frequencyHz_ = frequencyHz;
    }
    // Where several receivers write the same panes: every row starts with
    // this text (the channel's name and a space), and a page's cells wait
    // for its line's end, so that the lines of receivers never mix. Empty:
    // rows as they are, cells written as they come.
    void SetLinePrefix(std::string_view typedText);

    const CurrentLine& Line() const { return line_; }
    // Pages not shown because they repeated one within RepeatWindow.
    std::uint64_t FoldedRepeats() const { return repeats_.Folded(); }

    // The shared panes this receiver writes to.
    TextPane& MessagePane;
    TextPane& FilterPane;

private:
    void CompleteMessageLine();
    // Appends a character to CurrentLine, up to its limit.
    void CollectIntoLine(std::uint8_t ch, std::uint8_t color);
    void EmitRecord(const FilterRecord* filter);
    void CollectForRecord(char ch);
    void ForgetPage();
    // With RepeatWindow on, a page's cells wait until its line is complete:
    // a repeat is then dropped whole, anything else written out. True when
    // the page was a repeat.
    bool FoldRepeat();
    bool IsMessagePane(const TextPane& pane) const { return &pane == &MessagePane; }
    // The first cell of a message-pane row that is no wrap: the line prefix.
    void OpenRow();

    const Settings& settings_;
    const WallClock& clock_;
    PageLog& log_;
    FilterActions& filters_;
    RecordEmitter& records_;

    CurrentLine line_;
    bool suppress_ = false;  // starts clear: the first page after start-up is kept
    bool rowBreakOnly_ = false;
    int capcodeFilter_ = -1;

    // The page being described for the record. Its line is kept as the
    // pane shows it, up to kRecordLineMax characters: a page from the air
    // may go on without end, so a longer one is cut there and its record
    // says so. The room is reserved once, so collecting never allocates.
    static constexpr std::size_t kRecordLineMax = 16384;
    PageFacts facts_;
    bool described_ = false;
    std::array<char, 16> capcode_{};
    std::size_t capcodeLength_ = 0;
    std::string recordLine_;
    bool recordErrors_ = false;
    bool recordTruncated_ = false;

    // The page's charset, chosen with its capcode filter.
    NationalCharset pageCharset_ = NationalCharset::Ascii;
    // Repeat folding: the cells (character, colour) of the page held back.
    RepeatFold repeats_;
    bool holding_ = false;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> held_;

    std::string channel_;
    double frequencyHz_ = 0;
    std::string linePrefix_;  // cells
    bool rowOpen_ = false;    // the message pane's row has its prefix
};

}  // namespace tolvane
