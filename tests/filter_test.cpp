// Line completion with filters: which filter acts, what the filter pane,
// the filter file, the beep and the command receive.
#include <gtest/gtest.h>

#include <cstring>

#include "output/filter_command.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

using enum FilterType;
using testing::TestRig;
using testing::WritePage;
using Lines = std::vector<std::string>;

// A filter record, fields in the order of its INI value.
FilterRecord F(FilterType type, std::string capcode, int function = 0, std::string label = "", std::string text = "",
               int command = 0, int baud = 0, int reject = 0) {
    return {type, std::move(capcode), static_cast<std::int8_t>(function), std::move(label), std::move(text), command, baud, reject};
}

// One letter per cell: Capcode, filter Match, filter Label, alphanumeric.
std::string Colours(const TextPane& pane) {
    std::string letters;
    for (std::size_t i = 0; i < pane.RowText(0).size(); ++i) {
        const auto c = static_cast<ColorClass>(pane.AttrsOfRow(0)[i]);
        letters += c == ColorClass::Capcode ? 'C' : c == ColorClass::FilterMatch ? 'M' : c == ColorClass::FilterLabel ? 'L'
                   : c == ColorClass::Alphanumeric ? 'a' : '?';
    }
    return letters;
}

TEST(FilterChoice, WhichFilterCopiesTheLine) {
    struct Case {
        std::vector<FilterRecord> filters;
        FilterType type;
        const char* capcode;
        int function, baud;
        const char* message;
        const char* copy;  // the filter-pane line, "" for none, nullptr: the page is rejected
    };
    const Case cases[] = {
        {{F(Pocsag, "12??5?7", 0, "Fire")}, Pocsag, "1234567", 1, 2, "CALL", "1234567 Fire CALL"},
        // A capcode filter decides alone: its text absent, no text filter is asked.
        {{F(Pocsag, "1234567", 0, "A", "FIRE"), F(Text, "", 0, "B", "CALL")}, Pocsag, "1234567", 1, 2, "CALL", ""},
        {{F(Pocsag, "1234567", 0, "L", "call")}, Pocsag, "1234567", 1, 2, "A CALL", "1234567 L A CALL"},
        {{F(Text, "", 0, "T", "2345")}, Pocsag, "1234567", 1, 2, "HELLO", ""},  // only the message is searched
        {{F(Text, "", 0, "T", "call me")}, Pocsag, "1234567", 1, 2, "PLEASE CALL ME", "1234567 T PLEASE CALL ME"},
        {{F(Text, "", 0, "T", "\xE9t\xE9")}, Pocsag, "1234567", 1, 2, "\xC9T\xC9", ""},  // only a-z fold
        {{F(Text, "", 0, "First", "CALL"), F(Text, "", 0, "Second", "CALL")}, Golay, "123456", 1, 0, "CALL",
         "123456 First CALL"},
        {{F(Pocsag, "1234567", 2, "Cap"), F(Text, "", 0, "Txt", "CALL")}, Pocsag, "1234567", 3, 2, "CALL",
         "1234567 Txt CALL"},
        {{F(Pocsag, "1234567", 0, "Cap", "", 0, 1)}, Pocsag, "1234567", 1, 2, "CALL", ""},
        {{F(Pocsag, "1234567", 3, "Cap", "", 0, 2)}, Pocsag, "1234567", 3, 2, "CALL", "1234567 Cap CALL"},
        {{F(ShortFlex, "1234567", 3, "F")}, ShortFlex, "1234567", 1, 0, "CALL", "1234567 F CALL"},
        {{F(Golay, "123456", 2, "G")}, Golay, "123456", 1, 0, "CALL", ""},
        {{F(LongFlex, "1234567??", 0, "F")}, ShortFlex, "1234567", 0, 0, "CALL", ""},
        {{F(Unassigned, "", 0, "U")}, Pocsag, "1234567", 1, 2, "CALL", ""},
        {{F(LongFlex, "?????????")}, LongFlex, "123456789", 0, 0, "X", "123456789 X"},
        // A pattern shorter than the capcode ends there: it matches no longer capcode.
        {{F(Pocsag, "12345", 0, "Short"), F(Pocsag, "123456?", 0, "Long")}, Pocsag, "1234567", 1, 2, "X",
         "1234567 Long X"},
        {{F(Pocsag, "12345??", 0, "Rej", "", 0, 0, 1)}, Pocsag, "1234599", 1, 2, "SECRET", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Settings settings;
        settings.Filters = c.filters;
        settings.LogFileEnabled = 1;
        settings.LogFile = "pages.log";
        TestRig rig(settings);
        WritePage(rig.engine->output(), c.type, c.capcode, c.function, c.baud, c.message);
        WritePage(rig.engine->output(), Golay, "000000", 1, 0, "NEXT");  // a page no filter takes
        const std::string line = std::string(c.capcode) + " " + c.message;
        const Lines shown = c.copy == nullptr ? Lines{"000000 NEXT"} : Lines{line, "000000 NEXT"};
        EXPECT_EQ(rig.messageLines, shown);
        if (c.copy == nullptr) {
            EXPECT_EQ(rig.files.contents["pages.log"], "000000 NEXT\n");  // not logged either
        }
        EXPECT_EQ(rig.filterLines, c.copy == nullptr || *c.copy == 0 ? Lines{} : Lines{c.copy});
    }
}

TEST(FilterCopy, HighlightsMatchAndLabelInTheCopyOnly) {
    const struct {
        FilterRecord filter;
        const char* message;
        const char* copy;
        const char* colours;
    } cases[] = {
        {F(Pocsag, "1234567", 0, "Fire", "CALL"), "A CALL", "1234567 Fire A CALL", "MMMMMMMLLLLLCaaMMMM"},
        {F(Text, "", 0, "T", "B"), "AB", "1234567 T AB", "CCCCCCCLLCaM"},
    };
    for (const auto& c : cases) {
        Settings settings;
        settings.Filters = {c.filter};
        TestRig rig(settings);
        Output& out = rig.engine->output();
        WritePage(out, Pocsag, "1234567", 1, 2, c.message);
        EXPECT_EQ(out.FilterPane.RowText(0), c.copy);
        EXPECT_EQ(Colours(out.FilterPane), c.colours);
        EXPECT_EQ(Colours(out.MessagePane), "CCCCCCCC" + std::string(std::strlen(c.message), 'a'));
    }
}

// A matching line goes once, whole, to the filter file (opened and closed
// around it, bytes as in the log), the sound and the filter's command.
TEST(FilterActions, FileSoundAndCommandOncePerMatchingLine) {
    Settings settings;
    settings.Filters = {F(Pocsag, "1234567", 0, "Fire Dept", "", 1), F(Pocsag, "7654321", 0, "Quiet")};
    settings.FilterFileEnabled = settings.FilterFileUseDate = 1;
    settings.FilterBeep = 1;
    settings.FilterCmdFileEnabled = 1;
    settings.FilterCmdFile = "/opt/pager/notify";
    settings.FilterCmdArgs = "-c %c \"%l\" %m 100%";
    TestRig rig(settings);
    Output& out = rig.engine->output();
    out.CreatePanes(10);
    WritePage(out, Pocsag, "1234567", 1, 2, "\"; rm -rf ~ #");  // 21 characters: three rows
    rig.sound.playable = false;                                // beeps instead
    WritePage(out, Pocsag, "7654321", 1, 2, "A\x01\xC1\x7F");  // no command flag
    WritePage(out, Pocsag, "1111111", 1, 2, "NONE");
    EXPECT_EQ(out.MessagePane.row, 7u);
    EXPECT_EQ(rig.filterLines, (Lines{"1234567 Fire Dept \"; rm -rf ~ #", "7654321 Quiet A\x01\xC1\x7F"}));
    const std::string written = "1234567 Fire Dept \"; rm -rf ~ #\n7654321 Quiet A.A\x7F\n";
    EXPECT_EQ(rig.files.contents["26DEC06.FLT"], written);
    EXPECT_EQ(rig.files.flushed["26DEC06.FLT"], written);
    EXPECT_EQ(rig.files.opens, 2);
    ASSERT_EQ(rig.commands.calls.size(), 1u);
    EXPECT_EQ(rig.commands.calls[0].program, "/opt/pager/notify");
    EXPECT_EQ(rig.commands.calls[0].args, (Lines{"-c", "1234567", "Fire Dept", "\"; rm -rf ~ #", "100%"}));
    EXPECT_EQ(std::tuple(rig.sound.played, rig.sound.beeps), std::tuple(Lines(2, "FILTER.WAV"), 1));
    rig.engine->settings().FilterCmdFileEnabled = 0;
    WritePage(out, Pocsag, "1234567", 1, 2, "OFF");
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

TEST(FilterRecordText, ListLines) {
    const std::pair<FilterRecord, const char*> lines[] = {
        {F(Pocsag, "1234567", 2, "Fire", "", 0, 2), "POCSAG | Fire | 1234567 | 2 | 1200"},
        {F(Pocsag, "12?????", 0, "", "x", 1, 3, 1), "POCSAG | 12????? | Any | 512 | REJECT"},
        {F(Text, "", 0, "L", "help", 1), "Text | L | \"help\" | CMD"},
        {F(Golay, "123456", 4), "Golay | 123456 | 4"},
        {F(ShortFlex, "1234567", 0, "", "t"), "Short FLEX | 1234567 | \"t\""},
        {F(LongFlex, "123456789"), "Long FLEX | 123456789"},
        {FilterRecord{}, "UNUSED"},
    };
    for (const auto& [record, line] : lines) EXPECT_EQ(FormatFilterLine(record), line);
}

}  // namespace
}  // namespace tolvane
