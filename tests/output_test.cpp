// The emission operations (cells, wrap, CurrentLine, log echo, flags) and
// line completion with filters: what the filter pane, the filter file, the
// beep and the command receive. Which filter takes a page is pinned by the
// golden recording filters (tests/cli).
#include "output/output.h"

#include <gtest/gtest.h>


#include "output/filter_command.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

using enum FilterType;
using testing::TestRig;
using testing::WritePage;
using Lines = std::vector<std::string>;

Settings Logging(int flush = 0, int flushTime = 0) {
    Settings s;
    s.LogFileEnabled = 1;
    s.LogFile = "pages.log";
    s.LogFileFlush = flush;
    s.LogFlushTime = flushTime;
    return s;
}

// One page after another through a 10-column pane: lines reach the log
// whole as they end, a wrapped one with all its rows at once (control and
// high-bit bytes as dots there only), a line that wraps stays one line, a
// rejected page writes nothing but still breaks the row, and a row break
// alone (a frame row) is logged but neither collected nor filtered nor
// arming the flush.
TEST(Emission, RowsLinesAndTheLog) {
    Settings settings = Logging(1, 2);
    settings.Filters = {FilterRecord{Text, "", 0, "", "FRAME", 0, 0, 0}, FilterRecord{Pocsag, "9999999", 0, "", "", 0, 0, 1}};
    TestRig rig(settings);
    Output& out = rig.engine->output();
    rig.engine->Panes().CreatePanes(10);
    out.SetRowBreakOnly(true);
    out.PanePutText(out.MessagePane, "FRAME 12");
    out.PaneEndLine(out.MessagePane);
    out.SetRowBreakOnly(false);
    EXPECT_EQ(std::tuple(out.Line().length, rig.engine->Log().FlushCountdown()), std::tuple(0, 0u));
    out.PanePutText(out.MessagePane, "abcdefghijklmnopqrstuvwxy");  // 25 characters
    EXPECT_EQ(std::tuple(out.MessagePane.row, out.MessagePane.column, out.Line().length), std::tuple(3u, 5u, 25));
    EXPECT_EQ(out.MessagePane.RowText(3), "uvwxy");  // the row being written ends at the cursor
    EXPECT_EQ(rig.files.contents["pages.log"], "FRAME 12\n");  // the wrapped rows wait for their line
    out.PaneEndLine(out.MessagePane);
    const std::uint8_t bytes[] = {0x41, 0x00, 0x1F, 0x7F, 0x80, 0x9F, 0xA0, 0xC1, 0xFF};
    for (const std::uint8_t b : bytes) out.PanePutChar(out.MessagePane, b);
    const std::string shown = "A\x1F\x7F\x80\x9F\xA0\xC1\xFF";  // kept as they are, but for the 0
    EXPECT_EQ(out.MessagePane.RowText(4), shown);
    EXPECT_EQ(std::string(out.Line().chars.begin(), out.Line().chars.begin() + out.Line().length), shown);
    out.PaneEndLine(out.MessagePane);
    out.PanePutText(out.MessagePane, "ab");
    out.SelectCapcodeFilter(Pocsag, "9999999", 7, 0, 0);  // rejected from here on
    out.PanePutText(out.MessagePane, "xyz");
    out.SetRowBreakOnly(true);
    out.PaneEndLine(out.MessagePane);
    out.SetRowBreakOnly(false);
    out.PaneEndLine(out.MessagePane);  // only clears the flag
    EXPECT_EQ(std::tuple(out.Suppressed(), out.MessagePane.row, out.Line().length), std::tuple(false, 6u, 2));
    out.PanePutChar(out.FilterPane, 'F');  // never logged
    settings.LogFileEnabled = 0, rig.engine->ApplySettings(settings);
    out.PanePutChar(out.MessagePane, 'M');
    // Control codes as dots; from 0xA0 on the Latin-1 letters, in UTF-8.
    EXPECT_EQ(rig.files.contents["pages.log"], "FRAME 12\nabcdefghij\nklmnopqrst\nuvwxy\nA..\x7F..\xC2\xA0\xC3\x81\xC3\xBF\nab\n");
    EXPECT_EQ(rig.messageLines, (Lines{"FRAME 12", "abcdefghijklmnopqrstuvwxy", shown, "ab"}));
    EXPECT_TRUE(rig.filterLines.empty());
}

// Capcode fields the recordings and end-to-end tables do not show: an
// unknown POCSAG capcode with the time, a long FLEX capcode of ten digits
// (the filters see nine), and the time of day cut at 40 characters.
TEST(PageWriter, CapcodeFieldsBeyondTheRecordings) {
    const std::string longTime(50, 't');
    for (const auto& [header, time, text, digits] :
         {std::tuple{PageHeader{PageProtocol::Pocsag, "512", -1, false, 2}, std::string("12:00:00"),
                     std::string("{???????} 12:00:00 ? 512"), 7},
          std::tuple{PageHeader{PageProtocol::Flex, "1600/2", 2147483647, true}, std::string("12:00:00"),
                     std::string("[2147483647] 12:00:00"), 9},
          std::tuple{PageHeader{PageProtocol::Gsc, "600", 123456, false, 4}, longTime,
                     "(123456) 4 " + longTime.substr(0, 40), 6}}) {
        const CapcodeField field = FormatCapcodeField(header, time);
        EXPECT_EQ(std::tuple(field.text, field.digits), std::tuple(text, digits));
    }
}

// The log is flushed a time after the first unflushed line (code 1: at
// once); a running countdown is not restarted by later lines.
TEST(Emission, LogFlushCountdown) {
    for (const auto& [code, ticks] : {std::pair{1, 0}, {2, 50}, {3, 100}, {4, 300}, {5, 600}}) {
        SCOPED_TRACE(code);
        TestRig rig(Logging(1, code));
        Output& out = rig.engine->output();
        WritePage(out, Pocsag, "1234567", 1, 2, "ONE");
        for (int tick = 1; tick < ticks; ++tick) {
            rig.engine->Log().FlushTick();
            if (tick == 10) WritePage(out, Pocsag, "1234567", 1, 2, "TWO");
        }
        EXPECT_EQ(rig.files.flushed["pages.log"], ticks == 0 ? "1234567 ONE\n" : "");
        rig.engine->Log().FlushTick();
        EXPECT_EQ(rig.files.flushed["pages.log"], ticks == 0 ? "1234567 ONE\n" : "1234567 ONE\n1234567 TWO\n");
        WritePage(out, Pocsag, "1234567", 1, 2, "THREE");  // the next line arms it again
        for (int tick = 0; tick < ticks; ++tick) rig.engine->Log().FlushTick();
        EXPECT_EQ(rig.files.flushed["pages.log"], rig.files.contents["pages.log"]);
    }
}

// A log or filter file that cannot be opened or written is skipped while
// the panes go on; the trouble is told once, and again once it is over.
TEST(Emission, FileTroublesAreToldOnceAndWhenOver) {
    Settings settings = Logging();
    settings.Filters = {FilterRecord{Pocsag, "1234567", 0, "", "", 0, 0, 0}};
    settings.FilterFileEnabled = 1;
    settings.FilterFile = "hits.flt";
    for (const std::string path : {"pages.log", "hits.flt"}) {
        for (const bool opens : {false, true}) {  // opens but cannot be written: a full disk
            SCOPED_TRACE(path + (opens ? " unwritable" : " unopenable"));
            TestRig rig(settings);
            Output& out = rig.engine->output();
            auto& failing = opens ? rig.files.unwritable : rig.files.unopenable;
            failing.push_back(path);
            rig.engine->Log().Open("x");
            for (const char* text : {"ONE", "TWO"}) WritePage(out, Pocsag, "1234567", 1, 2, text);
            EXPECT_EQ(rig.messageLines, (Lines{"1234567 ONE", "1234567 TWO"}));
            EXPECT_EQ(rig.filterLines.size(), 2u);
            EXPECT_EQ(rig.files.contents[path], "");
            const char* reason = opens ? "No space left on device" : "No such file or directory";
            EXPECT_EQ(rig.fileStatus.events, Lines{"failed " + path + ": " + reason});
            failing.clear();
            for (const char* text : {"THREE", "FOUR"}) WritePage(out, Pocsag, "1234567", 1, 2, text);
            EXPECT_EQ(rig.files.contents[path], "1234567 THREE\n1234567 FOUR\n");
            EXPECT_EQ(rig.fileStatus.events, (Lines{"failed " + path + ": " + reason, "works " + path}));
            const std::string other = path == "hits.flt" ? "pages.log" : "hits.flt";
            EXPECT_EQ(rig.files.contents[other], "1234567 ONE\n1234567 TWO\n1234567 THREE\n1234567 FOUR\n");
        }
    }
}

// A filter record, fields in the order of its INI value.
FilterRecord F(FilterType type, std::string capcode, int function = 0, std::string label = "", std::string text = "",
               int command = 0, int baud = 0, int reject = 0) {
    return {type, std::move(capcode), static_cast<std::int8_t>(function), std::move(label), std::move(text), command, baud, reject};
}

// One letter per cell of a row: Capcode, filter Match, filter Label, alphanumeric.
std::string Colours(const TextPane& pane, std::uint32_t row) {
    std::string letters;
    for (std::size_t i = 0; i < pane.RowText(row).size(); ++i) {
        const auto c = static_cast<ColorClass>(pane.AttrsOfRow(row)[i]);
        letters += c == ColorClass::Capcode ? 'C' : c == ColorClass::FilterMatch ? 'M' : c == ColorClass::FilterLabel ? 'L'
                   : c == ColorClass::Alphanumeric ? 'a' : '?';
    }
    return letters;
}

// A matching line goes once, whole, to the filter file (flushed with it,
// bytes as in the log), the sound and the filter's command. The copy
// carries the label; the capcode or the text found is highlighted in the
// copy only. Only a-z fold in a text search.
TEST(FilterActions, FileSoundAndCommandOncePerMatchingLine) {
    Settings settings;
    settings.Filters = {F(Pocsag, "1234567", 0, "Fire Dept", "", 1), F(Text, "", 0, "Fold", "\xE1"),
                        F(Text, "", 0, "Quiet", "a")};
    settings.FilterFileEnabled = settings.FilterFileUseDate = 1;
    settings.FilterBeep = 1;
    settings.FilterCmdFileEnabled = 1;
    settings.FilterCmdFile = "/opt/pager/notify";
    settings.FilterCmdArgs = "-c %c \"%l\" %m 100%";
    TestRig rig(settings);
    Output& out = rig.engine->output();
    rig.engine->Panes().CreatePanes(10);
    WritePage(out, Pocsag, "1234567", 1, 2, "\"; rm -rf ~ #");  // 21 characters: three rows
    rig.sound.playable = false;                                // beeps instead
    WritePage(out, Pocsag, "7654321", 1, 2, "A\x01\xC1\x7F");  // no command flag
    WritePage(out, Pocsag, "1111111", 1, 2, "NONE");
    EXPECT_EQ(out.MessagePane.row, 7u);
    EXPECT_EQ(rig.filterLines, (Lines{"1234567 Fire Dept \"; rm -rf ~ #", "7654321 Quiet A\x01\xC1\x7F"}));
    const std::tuple<TextPane*, std::uint32_t, const char*> colours[] = {
        {&out.MessagePane, 0, "CCCCCCCCaa"}, {&out.FilterPane, 0, "MMMMMMMLLL"},
        {&out.FilterPane, 4, "CCCCCCCLLL"}, {&out.FilterPane, 5, "LLLCMaaa"}};
    for (const auto& [pane, row, letters] : colours) EXPECT_EQ(Colours(*pane, row), letters) << row;
    const std::string written = "1234567 Fire Dept \"; rm -rf ~ #\n7654321 Quiet A.\xC3\x81\x7F\n";
    EXPECT_EQ(rig.files.contents["26DEC06.FLT"], written);
    EXPECT_EQ(rig.files.flushed["26DEC06.FLT"], written);
    const std::vector<testing::FakeCommands::Call> started = {
        {"/opt/pager/notify", {"-c", "1234567", "Fire Dept", "\"; rm -rf ~ #", "100%"}}};
    EXPECT_EQ(rig.commands.calls, started);
    EXPECT_EQ(std::tuple(rig.sound.played, rig.sound.beeps), std::tuple(Lines(2, "FILTER.WAV"), 1));
    settings.FilterCmdFileEnabled = 0, rig.engine->ApplySettings(settings);
    WritePage(out, Pocsag, "1234567", 1, 2, "OFF");
    EXPECT_EQ(rig.commands.calls, started);
}

// A line without a capcode field (a ReFLEX dump, an unknown sync header)
// belongs to no page: the capcode filter and the message mark of the page
// before it are not its own, so only a text filter, searching all of it,
// may take it.
TEST(FilterActions, LineWithoutCapcodeFieldTakesNothingFromThePageBefore) {
    Settings settings;
    settings.Filters = {F(Pocsag, "1234567", 0, "Fire Dept", "", 1), F(Text, "", 0, "Quiet", "q")};
    settings.FilterCmdFileEnabled = 1;
    settings.FilterCmdFile = "/opt/pager/notify";
    TestRig rig(settings);
    Output& out = rig.engine->output();
    rig.engine->Panes().CreatePanes(40);
    for (const char* raw : {"", "[00040B]XYZ", "qXYZ"}) {
        if (*raw == '\0') {
            WritePage(out, Pocsag, "1234567", 1, 2, "FIRE");
            continue;
        }
        out.PanePutText(out.MessagePane, raw);
        out.PaneEndLine(out.MessagePane);
    }
    EXPECT_EQ(rig.filterLines, (Lines{"1234567 Fire Dept FIRE", "Quiet qXYZ"}));
    EXPECT_EQ(rig.commands.calls.size(), 1u);
}

// The template is split like a shell splits words, without expansion; the
// fields go into each word; the command line is cut at 120 characters.
TEST(FilterCommand, ArgumentsFromTheTemplate) {
    const std::tuple<std::size_t, const char*, const char*, Lines> cases[] = {
        {3, "  a  b\tc ", "", {"a", "b", "c"}},
        {3, "'x y' \"p \\\"q\\\" \\\\\" r\\ s", "", {"x y", "p \"q\" \\", "r s"}},
        {3, "'' \"\" z a'b c'd", "", {"", "", "z", "ab cd"}},
        {3, "'$(reboot)' `id` $HOME \"open to end", "", {"$(reboot)", "`id`", "$HOME", "open to end"}},
        {3, "", "", {}},
        {3, "%C/%L/%m %x %%c % 100%", "CALL", {"(123456) 1/L/CALL", "%x", "%(123456) 1", "%", "100%"}},
        // 50 characters after a 100-character program: 19 are kept, the cut word shortened.
        {100, "aaaaaaaaaa bbbbbbbbbb cccccccccccccccccccccccccccc", "", {"aaaaaaaaaa", "bbbbbbbb"}},
        {100, "%m ccccccccccccccccccc", "aaaaaaaaaaaaaaaaaa", {"aaaaaaaaaaaaaaaaaa"}},  // no "" after a cut
        {119, "%m", "m", {}},
        {110, "%m", "123456789", {"123456789"}},  // 120: not cut
    };
    for (const auto& [program, text, message, args] : cases)
        EXPECT_EQ(BuildFilterCommandArgs(std::string(program, 'p'), text, "(123456) 1", "L", message), args) << text;
}

// The filter list's lines; those of the other types are rows of the dialog
// tests.
TEST(FilterRecordText, ListLines) {
    const std::pair<FilterRecord, const char*> lines[] = {
        {F(Pocsag, "1234567", 2, "Fire", "", 0, 2), "POCSAG | Fire | 1234567 | 2 | 1200"},
        {F(Pocsag, "12?????", 0, "", "x", 1, 3, 1), "POCSAG | 12????? | Any | 512 | REJECT"},
        {F(Text, "", 0, "L", "help", 1), "Text | L | \"help\" | CMD"},
        {F(ShortFlex, "1234567", 0, "", "t"), "Short FLEX | 1234567 | \"t\""},
    };
    for (const auto& [record, line] : lines) EXPECT_EQ(FormatFilterLine(record), line);
}

}  // namespace
}  // namespace tolvane
