// Line completion with filters: which filter acts, what the filter pane,
// the filter file, the beep and the command receive.
#include <gtest/gtest.h>

#include "output/filter_command.h"
#include "output/output.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

using testing::TestRig;
using testing::WritePage;

FilterRecord Filter(FilterType type, std::string capcode, std::string label = "", std::string text = "") {
    FilterRecord f;
    f.type = type;
    f.capcode = std::move(capcode);
    f.label = std::move(label);
    f.text = std::move(text);
    return f;
}

FilterRecord With(FilterRecord f, int function, int baud = 0, int reject = 0, int command = 0) {
    f.function = static_cast<std::int8_t>(function);
    f.baud = baud;
    f.reject = reject;
    f.command = command;
    return f;
}

struct ChoiceCase {
    const char* name;
    std::vector<FilterRecord> filters;
    FilterType type;
    const char* capcode;
    int function;
    int baud;
    const char* message;
    const char* expected;  // the filter-pane line, or nullptr for none
};

TEST(FilterChoice, WhichFilterCopiesTheLine) {
    const ChoiceCase cases[] = {
        {"wildcards; label after the capcode field", {Filter(FilterType::Pocsag, "12??5?7", "Fire")},
         FilterType::Pocsag, "1234567", 1, 2, "CALL", "1234567 Fire CALL"},
        {"capcode filter whose text is absent blocks text filters",
         {Filter(FilterType::Pocsag, "1234567", "A", "FIRE"), Filter(FilterType::Text, "", "B", "CALL")},
         FilterType::Pocsag, "1234567", 1, 2, "CALL", nullptr},
        {"capcode filter with a text that occurs", {Filter(FilterType::Pocsag, "1234567", "L", "call")},
         FilterType::Pocsag, "1234567", 1, 2, "A CALL", "1234567 L A CALL"},
        {"text inside the capcode field only", {Filter(FilterType::Text, "", "T", "2345")}, FilterType::Pocsag,
         "1234567", 1, 2, "HELLO", nullptr},
        {"a-z fold to upper case", {Filter(FilterType::Text, "", "T", "call me")}, FilterType::Pocsag, "1234567",
         1, 2, "PLEASE CALL ME", "1234567 T PLEASE CALL ME"},
        {"accented letters do not fold", {Filter(FilterType::Text, "", "T", "\xE9t\xE9")}, FilterType::Pocsag,
         "1234567", 1, 2, "\xC9T\xC9", nullptr},
        {"first of two matching text filters",
         {Filter(FilterType::Text, "", "First", "CALL"), Filter(FilterType::Text, "", "Second", "CALL")},
         FilterType::Golay, "123456", 1, 0, "CALL", "123456 First CALL"},
        {"function mismatch leaves the text filters",
         {With(Filter(FilterType::Pocsag, "1234567", "Cap"), 2), Filter(FilterType::Text, "", "Txt", "CALL")},
         FilterType::Pocsag, "1234567", 3, 2, "CALL", "1234567 Txt CALL"},
        {"baud mismatch", {With(Filter(FilterType::Pocsag, "1234567", "Cap"), 0, 1)}, FilterType::Pocsag,
         "1234567", 1, 2, "CALL", nullptr},
        {"baud and function match", {With(Filter(FilterType::Pocsag, "1234567", "Cap"), 3, 2)},
         FilterType::Pocsag, "1234567", 3, 2, "CALL", "1234567 Cap CALL"},
        {"FLEX ignores function", {With(Filter(FilterType::ShortFlex, "1234567", "F"), 3)}, FilterType::ShortFlex,
         "1234567", 1, 0, "CALL", "1234567 F CALL"},
        {"Golay compares function", {With(Filter(FilterType::Golay, "123456", "G"), 2)}, FilterType::Golay,
         "123456", 1, 0, "CALL", nullptr},
        {"types must be equal", {Filter(FilterType::LongFlex, "1234567??", "F")}, FilterType::ShortFlex, "1234567",
         0, 0, "CALL", nullptr},
        {"an unassigned record matches nothing", {Filter(FilterType::Unassigned, "", "U")}, FilterType::Pocsag,
         "1234567", 1, 2, "CALL", nullptr},
        {"no label", {Filter(FilterType::LongFlex, "?????????")}, FilterType::LongFlex, "123456789", 0, 0, "X",
         "123456789 X"},
    };
    for (const ChoiceCase& c : cases) {
        Settings settings;
        settings.Filters = c.filters;
        TestRig rig(settings);
        WritePage(rig.engine->output(), c.type, c.capcode, c.function, c.baud, c.message);
        ASSERT_EQ(rig.messageLines.size(), 1u) << c.name;
        if (c.expected == nullptr) {
            EXPECT_TRUE(rig.filterLines.empty()) << c.name;
        } else {
            EXPECT_EQ(rig.filterLines, std::vector<std::string>{c.expected}) << c.name;
        }
    }
}

TEST(FilterChoice, RejectDropsTheWholePage) {
    Settings settings;
    settings.Filters = {With(Filter(FilterType::Pocsag, "12345??", "Rej"), 0, 0, 1)};
    settings.LogFileEnabled = 1;
    settings.LogFile = "pages.log";
    TestRig rig(settings);
    Output& out = rig.engine->output();
    WritePage(out, FilterType::Pocsag, "1234599", 1, 2, "SECRET");
    EXPECT_EQ(out.CapcodeFilterIndex, 0);
    EXPECT_FALSE(out.SuppressOutput);
    EXPECT_EQ(out.Line().length, 0);
    EXPECT_EQ(out.MessagePane.row, 0u);
    WritePage(out, FilterType::Pocsag, "7654321", 1, 2, "NEXT");
    EXPECT_EQ(rig.messageLines, std::vector<std::string>{"7654321 NEXT"});
    EXPECT_TRUE(rig.filterLines.empty());
    EXPECT_EQ(rig.files.contents["pages.log"], "7654321 NEXT\n");
}

TEST(FilterCopy, HighlightsMatchAndLabelInTheCopyOnly) {
    Settings settings;
    settings.Filters = {Filter(FilterType::Pocsag, "1234567", "Fire", "CALL")};
    TestRig rig(settings);
    Output& out = rig.engine->output();
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "A CALL");
    ASSERT_EQ(out.FilterPane.RowText(0), "1234567 Fire A CALL");
    const std::string expected = "MMMMMMMLLLLLCaaMMMM";  // per cell of the copy
    const auto* attrs = out.FilterPane.AttrsOfRow(0);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ColorClass want = expected[i] == 'M'   ? ColorClass::FilterMatch
                                : expected[i] == 'L' ? ColorClass::FilterLabel
                                : expected[i] == 'C' ? ColorClass::Capcode
                                                     : ColorClass::Alphanumeric;
        EXPECT_EQ(attrs[i], static_cast<std::uint8_t>(want)) << "cell " << i;
    }
    // The message pane keeps the decoder's colours.
    const auto* shown = out.MessagePane.AttrsOfRow(0);
    EXPECT_EQ(shown[0], static_cast<std::uint8_t>(ColorClass::Capcode));
    EXPECT_EQ(shown[10], static_cast<std::uint8_t>(ColorClass::Alphanumeric));
}

TEST(FilterCopy, TextFilterLeavesCapcodeUnmarkedAndLineEndingAtFieldGetsNoLabel) {
    Settings settings;
    settings.Filters = {Filter(FilterType::Text, "", "T", "B"), Filter(FilterType::Golay, "??????", "G")};
    TestRig rig(settings);
    Output& out = rig.engine->output();
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "AB");
    EXPECT_EQ(out.FilterPane.AttrsOfRow(0)[0], static_cast<std::uint8_t>(ColorClass::Capcode));
    EXPECT_EQ(out.FilterPane.AttrsOfRow(0)[11], static_cast<std::uint8_t>(ColorClass::FilterMatch));

    out.SelectCapcodeFilter(FilterType::Golay, "123456", 6, 0, 0);
    out.MarkCapcodeStart();
    out.PanePutText(out.MessagePane, "123456");
    out.MarkCapcodeEnd();
    out.MarkMessageStart();
    out.PaneEndLine(out.MessagePane);
    EXPECT_EQ(rig.filterLines, (std::vector<std::string>{"1234567 T AB", "123456"}));
}

TEST(FilterCopy, WrappedLineIsFilteredOnceAsOneLine) {
    Settings settings;
    settings.Filters = {With(Filter(FilterType::Text, "", "T", "XYZ"), 0, 0, 0, 1)};
    settings.FilterFileEnabled = 1;
    settings.FilterFile = "hits.flt";
    settings.FilterCmdFileEnabled = 1;
    settings.FilterCmdFile = "notify";
    TestRig rig(settings);
    Output& out = rig.engine->output();
    out.CreatePanes(10);
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "ABCDEFGHIJXYZ");  // 21 characters: three rows
    EXPECT_EQ(out.MessagePane.row, 3u);
    EXPECT_EQ(rig.filterLines, std::vector<std::string>{"1234567 T ABCDEFGHIJXYZ"});
    EXPECT_EQ(rig.files.contents["hits.flt"], "1234567 T ABCDEFGHIJXYZ\n");
    EXPECT_EQ(rig.commands.calls.size(), 1u);
}

TEST(FilterFile, LineWithLabelAndFileBytesAppendedPerLine) {
    Settings settings;
    settings.Filters = {Filter(FilterType::Pocsag, "1234567", "Fire")};
    settings.FilterFileEnabled = 1;
    settings.FilterFileUseDate = 1;
    TestRig rig(settings);
    Output& out = rig.engine->output();
    EXPECT_EQ(out.FilterOutputName, "26DEC06.FLT");
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "A\x01\xC1\x7F");
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "B");
    EXPECT_EQ(rig.files.contents["26DEC06.FLT"], "1234567 Fire A.A\x7F\n1234567 Fire B\n");
    EXPECT_EQ(rig.files.opens, 2);  // opened and closed around every line
    EXPECT_EQ(rig.files.flushed["26DEC06.FLT"], rig.files.contents["26DEC06.FLT"]);
}

TEST(FilterFile, UnopenableOrUnwritableFileIsSkipped) {
    Settings settings;
    settings.Filters = {Filter(FilterType::Pocsag, "1234567", "Fire")};
    settings.FilterFileEnabled = 1;
    settings.FilterFile = "hits.flt";
    for (const bool opens : {false, true}) {
        TestRig rig(settings);
        (opens ? rig.files.unwritable : rig.files.unopenable).push_back("hits.flt");
        WritePage(rig.engine->output(), FilterType::Pocsag, "1234567", 1, 2, "CALL");
        EXPECT_EQ(rig.filterLines, std::vector<std::string>{"1234567 Fire CALL"});
        EXPECT_EQ(rig.files.contents["hits.flt"], "");
    }
}

TEST(FilterFile, FlushCountdownArmsOnceAndIsNotRestarted) {
    Settings settings;
    settings.Filters = {Filter(FilterType::Text, "", "", "A")};
    settings.FilterFileEnabled = 1;
    settings.FilterFile = "hits.flt";
    settings.FilterFileFlush = 1;
    const std::pair<int, std::uint32_t> codes[] = {{1, 0}, {2, 50}, {3, 100}, {4, 300}, {5, 600}, {9, 600}};
    for (const auto& [code, ticks] : codes) {
        settings.FilterFlushTime = code;
        TestRig rig(settings);
        Output& out = rig.engine->output();
        WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "A");
        EXPECT_EQ(out.FilterFlushCountdown, ticks) << code;
        if (ticks == 0) continue;
        for (int i = 0; i < 10; ++i) out.FlushTick();
        WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "A");
        EXPECT_EQ(out.FilterFlushCountdown, ticks - 10) << code;
        for (std::uint32_t i = 0; i < ticks; ++i) out.FlushTick();  // expires with the file closed
        EXPECT_EQ(out.FilterFlushCountdown, 0u);
    }
}

TEST(FilterBeep, PlaysTheSoundFileOrBeeps) {
    Settings settings;
    settings.Filters = {Filter(FilterType::Text, "", "", "A")};
    settings.FilterBeep = 1;
    for (const bool playable : {true, false}) {
        TestRig rig(settings);
        rig.sound.playable = playable;
        WritePage(rig.engine->output(), FilterType::Pocsag, "1234567", 1, 2, "A");
        WritePage(rig.engine->output(), FilterType::Pocsag, "1234567", 1, 2, "B");  // no match, no sound
        EXPECT_EQ(rig.sound.played, std::vector<std::string>{"FILTER.WAV"});
        EXPECT_EQ(rig.sound.beeps, playable ? 0 : 1);
    }
}

TEST(FilterCommand, StartsProgramWithSubstitutedWordsAndNoShell) {
    Settings settings;
    settings.FilterCmdFileEnabled = 1;
    settings.FilterCmdFile = "/opt/pager/notify";
    settings.FilterCmdArgs = "-c %c \"%l\" %m 100%";
    settings.Filters = {With(Filter(FilterType::Pocsag, "1234567", "Fire Dept"), 0, 0, 0, 1),
                        Filter(FilterType::Pocsag, "7654321", "Quiet")};
    TestRig rig(settings);
    Output& out = rig.engine->output();
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "\"; rm -rf ~ #");
    WritePage(out, FilterType::Pocsag, "7654321", 1, 2, "NO COMMAND FLAG");
    ASSERT_EQ(rig.commands.calls.size(), 1u);
    EXPECT_EQ(rig.commands.calls[0].program, "/opt/pager/notify");
    EXPECT_EQ(rig.commands.calls[0].args,
              (std::vector<std::string>{"-c", "1234567", "Fire Dept", "\"; rm -rf ~ #", "100%"}));

    rig.engine->settings().FilterCmdFileEnabled = 0;
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "OFF");
    EXPECT_EQ(rig.commands.calls.size(), 1u);
}

TEST(FilterCommand, SplitsTheTemplateLikeAShellWithoutExpansion) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"  a  b\tc ", {"a", "b", "c"}},
        {"'x y' \"p \\\"q\\\" \\\\\" r\\ s", {"x y", "p \"q\" \\", "r s"}},
        {"'' \"\" z", {"", "", "z"}},
        {"a'b c'd", {"ab cd"}},
        {"'$(reboot)' `id` $HOME", {"$(reboot)", "`id`", "$HOME"}},
        {"\"open to end", {"open to end"}},
        {"", {}},
    };
    for (const auto& [text, words] : cases) EXPECT_EQ(SplitCommandWords(text), words) << text;
}

TEST(FilterCommand, SubstitutesFieldsAndCutsTheCommandLine) {
    EXPECT_EQ(BuildFilterCommandArgs("cmd", "%c %m 100%", "(123456) 1", "L", "CALL"),
              (std::vector<std::string>{"(123456) 1", "CALL", "100%"}));
    EXPECT_EQ(SubstituteFilterFields("%C/%L/%M %x %%c %", "c", "l", "m"), "c/l/m %x %c %");

    const std::string program(100, 'p');
    // 50 characters of arguments: the first 19 are kept, the cut word shortened.
    const auto cut = BuildFilterCommandArgs(program, "aaaaaaaaaa bbbbbbbbbb cccccccccccccccccccccccccccc", "", "", "");
    EXPECT_EQ(cut, (std::vector<std::string>{"aaaaaaaaaa", "bbbbbbbb"}));
    // A cut right after a separator drops the word instead of passing "".
    EXPECT_EQ(BuildFilterCommandArgs(program, "%m ccccccccccccccccccc", "", "", "aaaaaaaaaaaaaaaaaa"),
              std::vector<std::string>{"aaaaaaaaaaaaaaaaaa"});
    EXPECT_TRUE(BuildFilterCommandArgs(std::string(119, 'p'), "%m", "", "", "m").empty());
    // Exactly 120 characters is not cut.
    EXPECT_EQ(BuildFilterCommandArgs(std::string(110, 'p'), "%m", "", "", "123456789").size(), 1u);
    EXPECT_EQ(BuildFilterCommandArgs(std::string(110, 'p'), "%m", "", "", "123456789")[0], "123456789");
}

TEST(FilterRecordText, ValueFormatAndListLine) {
    const FilterRecord fire = With(Filter(FilterType::Pocsag, "1234567", "Fire"), 2, 2);
    EXPECT_EQ(FormatFilterValue(fire), "2,\"1234567\",2,\"Fire\",\"\",0,2,0");
    EXPECT_EQ(FormatFilterValue(Filter(FilterType::Text, "", "a\"b\\", "")), "1,\"\",0,\"a\\\"b\\\\\",\"\",0,0,0");

    const std::pair<FilterRecord, const char*> lines[] = {
        {fire, "POCSAG | Fire | 1234567 | 2 | 1200"},
        {With(Filter(FilterType::Pocsag, "12?????", "", "x"), 0, 3, 1, 1), "POCSAG | 12????? | Any | 512 | REJECT"},
        {With(Filter(FilterType::Text, "", "L", "help"), 0, 0, 0, 1), "Text | L | \"help\" | CMD"},
        {With(Filter(FilterType::Golay, "123456"), 4), "Golay | 123456 | 4"},
        {Filter(FilterType::ShortFlex, "1234567", "", "t"), "Short FLEX | 1234567 | \"t\""},
        {Filter(FilterType::LongFlex, "123456789"), "Long FLEX | 123456789"},
        {FilterRecord{}, "UNUSED"},
    };
    for (const auto& [record, line] : lines) EXPECT_EQ(FormatFilterLine(record), line);
}

TEST(FilterRecordText, ReadingValues) {
    const std::pair<const char*, FilterRecord> cases[] = {
        {"2,\"1234567\",2,\"Fire\",\"\",0,2,0", With(Filter(FilterType::Pocsag, "1234567", "Fire"), 2, 2)},
        {"1,\"\",0,\"say \\\"hi\\\", ok\",\"C:\\dir\\\\\",1,0,0",
         With(Filter(FilterType::Text, "", "say \"hi\", ok", "C:\\dir\\"), 0, 0, 0, 1)},
        // Without the last three fields.
        {"5,\"123456\",3,\"G\",\"x\"", With(Filter(FilterType::Golay, "123456", "G", "x"), 3)},
        // Ending inside a quoted field.
        {"3,\"1234567\",0,\"unterminated lab", Filter(FilterType::ShortFlex, "1234567", "unterminated lab")},
        {"4,\"12345", Filter(FilterType::LongFlex, "12345")},
        // Texts are cut to their limits; the rest of the value still reads.
        {"1,\"\",0,\"123456789012345678901234\",\"t\",1,0,0",
         With(Filter(FilterType::Text, "", "12345678901234567890", "t"), 0, 0, 0, 1)},
        // Unknown types keep their place as unassigned records.
        {"7,\"1\",0,\"L\",\"\",0,0,0", Filter(FilterType::Unassigned, "1", "L")},
        {"", FilterRecord{}},
        // An empty one-character field reads as 0.
        {"2,\"1234567\",,\"L\",\"\",,,1", With(Filter(FilterType::Pocsag, "1234567", "L"), 0, 0, 1)},
    };
    for (const auto& [value, record] : cases) EXPECT_EQ(ParseFilterValue(value), record) << value;
}

}  // namespace
}  // namespace tolvane
