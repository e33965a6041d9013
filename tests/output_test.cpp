// The emission operations: cells, wrap, CurrentLine, log echo, flags.
#include "output/output.h"

#include <gtest/gtest.h>

#include "support/fake_world.h"

namespace tolvane {
namespace {

using testing::TestRig;
using testing::WritePage;

Settings Logging(int flush = 0, int flushTime = 0) {
    Settings s;
    s.LogFileEnabled = 1;
    s.LogFile = "pages.log";
    s.LogFileFlush = flush;
    s.LogFlushTime = flushTime;
    return s;
}

TEST(Emission, WrapAtLineWidthKeepsOneLogicalLine) {
    TestRig rig(Logging());
    Output& out = rig.engine->output();
    out.CreatePanes(10);
    const std::string text = "abcdefghijklmnopqrstuvwxy";  // 25 characters
    for (const char c : text) out.PanePutChar(out.MessagePane, c);
    EXPECT_EQ(out.MessagePane.row, 2u);
    EXPECT_EQ(out.MessagePane.column, 5u);
    EXPECT_EQ(out.MessagePane.RowText(0), "abcdefghij");
    EXPECT_EQ(out.MessagePane.RowText(1), "klmnopqrst");
    EXPECT_EQ(out.MessagePane.RowText(2), "uvwxy");  // the row being written ends at the cursor
    EXPECT_EQ(out.Line().length, 25);
    EXPECT_EQ(rig.files.contents["pages.log"], "abcdefghij\nklmnopqrst\nuvwxy");
    EXPECT_FALSE(out.RowBreakOnly);
    out.PaneEndLine(out.MessagePane);
    EXPECT_EQ(rig.messageLines, std::vector<std::string>{text});
    EXPECT_EQ(out.Line().length, 0);
}

TEST(Emission, TextAndLineLimits) {
    Settings settings;
    settings.Filters = {FilterRecord{FilterType::Text, "", 0, "T", "NEEDLE", 0, 0, 0}};
    TestRig rig(settings);
    Output& out = rig.engine->output();
    out.PanePutText(out.MessagePane, std::string(300, 'a'));
    EXPECT_EQ(out.Line().length, 256);
    out.PanePutText(out.MessagePane, std::string_view("bc\0de", 5));  // stops at a 0 byte
    EXPECT_EQ(out.Line().length, 258);
    out.PanePutText(out.MessagePane, "");
    EXPECT_EQ(out.Line().length, 258);

    // 1031 characters are collected; the rest is shown but not filtered.
    for (int i = 0; i < 4; ++i) out.PanePutText(out.MessagePane, std::string(200, 'x'));
    EXPECT_EQ(out.Line().length, 1031);
    out.PanePutText(out.MessagePane, "NEEDLE");
    EXPECT_EQ(out.Line().length, 1031);
    EXPECT_EQ(out.Line().chars[1030], 'x');
    out.PaneEndLine(out.MessagePane);
    ASSERT_EQ(rig.messageLines.size(), 1u);
    EXPECT_EQ(rig.messageLines[0].size(), 1064u);
    EXPECT_TRUE(rig.filterLines.empty());
}

TEST(Emission, LogEchoMapsControlAndHighBitBytes) {
    TestRig rig(Logging());
    Output& out = rig.engine->output();
    const std::uint8_t bytes[] = {0x00, 0x0A, 0x1F, 0x20, 0x41, 0x7F, 0x80, 0x9F, 0xA0, 0xC1, 0xFF};
    for (const std::uint8_t b : bytes) out.PanePutChar(out.MessagePane, b);
    EXPECT_EQ(rig.files.contents["pages.log"], "... A\x7F.. A\x7F");
    // Pane and CurrentLine keep the bytes as they are.
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
        EXPECT_EQ(out.MessagePane.CharsOfRow(0)[i], bytes[i]);
        EXPECT_EQ(out.Line().chars[i], bytes[i]);
    }
    // The filter pane is never logged; nor is anything once logging is off.
    out.PanePutChar(out.FilterPane, 'F');
    rig.engine->settings().LogFileEnabled = 0;
    out.PanePutChar(out.MessagePane, 'M');
    EXPECT_EQ(rig.files.contents["pages.log"].size(), sizeof bytes);
}

TEST(Emission, FirstPageAfterStartIsShownAndLogged) {
    TestRig rig(Logging());
    EXPECT_FALSE(rig.engine->output().SuppressOutput);
    WritePage(rig.engine->output(), FilterType::Pocsag, "1234567", 1, 2, "FIRST");
    EXPECT_EQ(rig.messageLines, std::vector<std::string>{"1234567 FIRST"});
    EXPECT_EQ(rig.files.contents["pages.log"], "1234567 FIRST\n");
}

TEST(Emission, SuppressedPage) {
    TestRig rig(Logging());
    Output& out = rig.engine->output();
    out.PanePutText(out.MessagePane, "ab");
    out.SuppressOutput = true;
    out.PaneSetColor(out.MessagePane, ColorClass::Numeric);
    EXPECT_EQ(out.MessagePane.color, static_cast<std::uint8_t>(ColorClass::Numeric));
    out.PanePutChar(out.MessagePane, 'x');
    out.PanePutText(out.MessagePane, "yz");
    out.MarkMessageStart();
    EXPECT_EQ(out.MessagePane.column, 2u);
    EXPECT_EQ(out.Line().length, 2);
    EXPECT_EQ(out.Line().messageStart, 2);
    EXPECT_EQ(rig.files.contents["pages.log"], "ab");
    // A row break still breaks the row; the page end only clears the flag.
    out.RowBreakOnly = true;
    out.PaneEndLine(out.MessagePane);
    out.RowBreakOnly = false;
    EXPECT_EQ(out.MessagePane.row, 1u);
    EXPECT_TRUE(out.SuppressOutput);
    out.PaneEndLine(out.MessagePane);
    EXPECT_FALSE(out.SuppressOutput);
    EXPECT_EQ(out.MessagePane.row, 1u);
    EXPECT_EQ(out.Line().length, 2);
    EXPECT_EQ(rig.files.contents["pages.log"], "ab\n");
}

TEST(Emission, RowBreakOnlyRowsAreLoggedButNeitherCollectedNorFiltered) {
    Settings settings = Logging(1, 2);
    settings.Filters = {FilterRecord{FilterType::Text, "", 0, "", "FRAME", 0, 0, 0}};
    TestRig rig(settings);
    Output& out = rig.engine->output();
    out.RowBreakOnly = true;
    out.PanePutText(out.MessagePane, "FRAME 12");
    out.PaneEndLine(out.MessagePane);
    out.RowBreakOnly = false;
    EXPECT_EQ(out.Line().length, 0);
    EXPECT_EQ(out.LogFlushCountdown, 0u);
    EXPECT_TRUE(rig.filterLines.empty());
    EXPECT_EQ(rig.files.contents["pages.log"], "FRAME 12\n");
}

TEST(Emission, LogFlushCountdown) {
    {
        TestRig rig(Logging(1, 1));
        WritePage(rig.engine->output(), FilterType::Pocsag, "1234567", 1, 2, "NOW");
        EXPECT_EQ(rig.files.flushed["pages.log"], "1234567 NOW\n");
    }
    // Code 3: flushed 10 s after the first unflushed line, then after the
    // next line that follows the flush; a running countdown is not restarted.
    TestRig rig(Logging(1, 3));
    Output& out = rig.engine->output();
    std::string expected;
    for (int second = 0; second < 25; ++second) {
        WritePage(out, FilterType::Pocsag, "1234567", 1, 2, std::to_string(second));
        expected += "1234567 " + std::to_string(second) + "\n";
        if (second == 0) {
            EXPECT_EQ(out.LogFlushCountdown, 100u);
        }
        for (int tick = 0; tick < 10; ++tick) out.FlushTick();
        if (second == 9) {
            EXPECT_EQ(rig.files.flushed["pages.log"], expected);
        }
        if (second == 10) {
            EXPECT_EQ(rig.files.flushed["pages.log"].size(), expected.size() - 11);
        }
    }
    EXPECT_EQ(rig.files.flushed["pages.log"].size(), expected.size() - 5 * 11);
    // Without LogFileFlush nothing counts.
    rig.engine->settings().LogFileFlush = 0;
    const std::uint32_t left = out.LogFlushCountdown;
    out.FlushTick();
    EXPECT_EQ(out.LogFlushCountdown, left);
}

TEST(Emission, UnopenableLogLeavesLoggingOff) {
    TestRig rig(Logging());
    Output& out = rig.engine->output();
    rig.files.unopenable.push_back("pages.log");
    out.OpenLog("x");
    EXPECT_FALSE(out.LogOpen());
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "STILL");
    EXPECT_EQ(rig.messageLines, std::vector<std::string>{"1234567 STILL"});
    rig.engine->settings().LogFileUseDate = 1;
    out.OpenLog("26DEC06");
    EXPECT_TRUE(out.LogOpen());
    EXPECT_EQ(rig.files.contents.count("26DEC06.LOG"), 1u);
}

TEST(CapcodeMatch, WildcardsAndLength) {
    struct Case {
        const char* text;
        const char* pattern;
        int n;
        bool match;
    };
    const Case cases[] = {
        {"1234567", "12??5?7", 7, true},  {"1234567", "1234560", 6, true}, {"1234567", "1234560", 7, false},
        {"???????", "1234567", 7, false}, {"9876543", "???????", 7, true}, {"1234567", "7654321", 0, true},
        {"1234567", "7654321", -2, true}, {"123456789", "12345678?", 9, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CapcodeMatch(c.text, c.pattern, c.n), c.match) << c.text << " " << c.pattern;
        EXPECT_EQ(CapcodeMatch(std::string_view(c.text), std::string_view(c.pattern), c.n), c.match) << c.text;
    }
    // Shorter texts compare as if ended by 0 bytes.
    EXPECT_FALSE(CapcodeMatch(std::string_view("1234567"), std::string_view("12345"), 7));
    EXPECT_TRUE(CapcodeMatch(std::string_view("12345"), std::string_view("12345"), 7));
    EXPECT_FALSE(CapcodeMatch(std::string_view("12345"), std::string_view("123456?"), 7));
}

}  // namespace
}  // namespace tolvane
