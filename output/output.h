// The emission operations: the only way decoders write text. Characters go
// into the message pane's grid, into CurrentLine (the page line being
// composed, with marks for the capcode field and the message), and into the
// log. PaneEndLine completes a row and, for a page line, runs the filters.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "display/text_pane.h"
#include "output/page_record.h"
#include "output/file_watch.h"
#include "output/repeat_fold.h"
#include "settings/filter_record.h"
#include "settings/settings.h"

namespace tolvane {

struct OutsideWorld;
class OutputFile;

inline constexpr std::size_t kCurrentLineSize = 1032;  // keeps at most 1031 characters
inline constexpr std::size_t kPanePutTextLimit = 256;

struct CurrentLine {
    std::array<std::uint8_t, kCurrentLineSize> chars{};
    std::array<std::uint8_t, kCurrentLineSize> attrs{};
    std::int32_t length = 0;
    std::int32_t capcodeStart = 0;
    std::int32_t capcodeEnd = 0;
    std::int32_t messageStart = 0;
};

// True when every one of the n positions of pattern is '?' or equals text.
// Both must hold at least n bytes.
bool CapcodeMatch(const char* text, const char* pattern, int n);
// The same for texts that may be shorter than n: a missing byte compares
// as 0 (so a short pattern only matches an equally short text).
bool CapcodeMatch(std::string_view text, std::string_view pattern, int n);

// Where a filter text occurs in a line: only from messageStart on, with the
// letters a-z folded to upper case (other characters compare as they are).
// The text is read as typed (see charset.h), the line as its cells hold it.
// Returns the position, or -1; `cells` is then the number of cells matched.
int FindFilterText(std::string_view line, int messageStart, std::string_view text, int* cells = nullptr);

class Output {
public:
    // The settings are read as they are at each call (the dialogs change
    // them); CreatePanes and SetScrollback store the row counts they fall
    // back to. The filter output name is prepared from the clock.
    Output(Settings& settings, OutsideWorld& world);
    ~Output();

    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Sizes both grids from the settings (falling back to 1000 and 200 rows,
    // stored in Pane1Size / Pane2Size, when memory cannot be had) and clears
    // them. A width of 0 counts as 1, one above kMaxLineWidth as that.
    void CreatePanes(std::uint32_t lineWidth);
    // A new row width (main window resized): both grids keep their text,
    // re-flowed at the new width (see TextPane::Reflow), message pane
    // first. Only when the new grids cannot be had are they made again at
    // the minimum size and cleared.
    void ResizePanes(std::uint32_t lineWidth);
    // A new scrollback size for one pane: false when it could not be had
    // and the minimum (1000 message / 200 filter rows) was used instead;
    // the size used is stored in the settings either way. The pane is
    // cleared.
    bool SetScrollback(TextPane& pane, std::uint32_t rows);

    void PaneSetColor(TextPane& pane, ColorClass colorClass) { pane.color = static_cast<std::uint8_t>(colorClass); }
    void PanePutChar(TextPane& pane, std::uint8_t ch);
    void PanePutChar(TextPane& pane, char ch) { PanePutChar(pane, static_cast<std::uint8_t>(ch)); }
    // Stops at the first 0 byte or after 256 characters.
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
    void MarkCapcodeStart() { line_.capcodeStart = line_.length; }
    void MarkCapcodeEnd() { line_.capcodeEnd = line_.length; }
    void MarkMessageStart() { line_.messageStart = line_.length; }

    // Chooses the capcode filter of the page about to be written; a
    // rejecting filter suppresses the whole page. function/baud 0 = not compared.
    void SelectCapcodeFilter(FilterType type, std::string_view capcodeText, int n, int function, int baud);

    // Machine-readable records: a decoder describes the page it is writing
    // (together with the capcode given to SelectCapcodeFilter); its completed
    // line then goes to the sink as one record. Lines nobody described (frame
    // rows, sync headers) and rejected pages give none.
    void DescribePage(const PageFacts& facts) {
        facts_ = facts;
        described_ = true;
    }
    void SetRecordSink(RecordSink* sink, std::string receiver);

    // Log file: opened for appending under LogFile, or with LogFileUseDate
    // under the date base name + ".LOG". Each line goes to it whole when it
    // ends, a wrapped one with all its rows. A file that cannot be opened or
    // written is skipped (and told to the FileStatusSink); opening is tried
    // again at every line end.
    void OpenLog(const std::string& dateBaseName);
    // Writes a line still being written, then closes.
    void CloseLog();
    bool LogOpen() const { return log_ != nullptr; }

    // Every output file is opened through this (the statistics too), so
    // that its troubles are told.
    FileWatch& Files() { return files_; }

    // Timer hook: the log and filter-file flush countdowns.
    void FlushTick();

    // FilterOutputName from the settings and today's date; done at creation
    // when the filter file is enabled and again when the filters are
    // confirmed. It does not follow the date at midnight.
    void PrepareFilterOutputName();

    TextPane MessagePane;
    TextPane FilterPane;

    const CurrentLine& Line() const { return line_; }
    // Pages not shown because they repeated one within RepeatWindow.
    std::uint64_t FoldedRepeats() const { return repeats_.Folded(); }

    bool SuppressOutput = false;  // starts clear: the first page after start-up is kept
    bool RowBreakOnly = false;
    int CapcodeFilterIndex = -1;
    std::string FilterOutputName;

    std::uint32_t LogFlushCountdown = 0;
    std::uint32_t FilterFlushCountdown = 0;

    static constexpr std::uint32_t kMessagePaneMinimum = 1000;
    static constexpr std::uint32_t kFilterPaneMinimum = 200;
    // Cells per row at most: wider than any screen shows at the smallest
    // font, and narrow enough that the minimum grids always fit.
    static constexpr std::uint32_t kMaxLineWidth = 4096;

private:
    struct FilterChoice {
        const FilterRecord* filter = nullptr;
        bool byCapcode = false;
        int textAt = -1;  // where the filter text was found, or -1
        int textLength = 0;
    };

    void CompleteMessageLine();
    // Appends a character to CurrentLine, up to its limit.
    void CollectIntoLine(std::uint8_t ch, std::uint8_t color);
    FilterChoice ChooseFilter(std::string_view line) const;
    void CopyToFilterPane(const FilterChoice& choice, std::string_view line);
    void StartFilterCommand(const FilterRecord& filter, std::string_view line);
    void EmitRecord(const FilterRecord* filter);
    void CollectForRecord(char ch);
    void ForgetPage();
    // With RepeatWindow on, a page's cells wait until its line is complete:
    // a repeat is then dropped whole, anything else written out. True when
    // the page was a repeat.
    bool FoldRepeat();
    bool IsMessagePane(const TextPane& pane) const { return &pane == &MessagePane; }
    static std::uint32_t BoundLineWidth(std::uint32_t lineWidth);
    void AllocateOrFallBack(TextPane& pane, std::uint32_t rows, std::uint32_t lineWidth);
    std::uint32_t& SizeSetting(const TextPane& pane);
    static std::uint32_t FlushTicks(std::int32_t flushTime);

    Settings& settings_;
    OutsideWorld& world_;
    CurrentLine line_;
    void WriteLogRow();
    void ReserveLogLine();

    FileWatch files_;
    std::unique_ptr<OutputFile> log_;
    std::string logName_;   // the log to write while logging is on
    std::string logRow_;    // the message-pane line being written, as logged (its rows so far)
    std::string fileLine_;  // one filter-file line, reused

    // The page being described for the record sink. Its line is kept as the
    // pane shows it, up to kRecordLineMax characters: a page from the air
    // may go on without end, so a longer one is cut there and its record
    // says so. The room is reserved once, so collecting never allocates.
    static constexpr std::size_t kRecordLineMax = 16384;
    RecordSink* records_ = nullptr;
    std::string receiver_;
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
};

}  // namespace tolvane
