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
    // Each row reaches the log whole, when it ends.
    EXPECT_EQ(rig.files.contents["pages.log"], "abcdefghij\nklmnopqrst\n");
    EXPECT_FALSE(out.RowBreakOnly);
    out.PaneEndLine(out.MessagePane);
    EXPECT_EQ(rig.files.contents["pages.log"], "abcdefghij\nklmnopqrst\nuvwxy\n");
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
    out.CloseLog();  // writes the row as far as it got
    EXPECT_EQ(rig.files.contents["pages.log"], "... A\x7F.. A\x7F");
    out.OpenLog("x");
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
    EXPECT_EQ(rig.files.contents["pages.log"], "");
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

// A log or filter file that cannot be opened or written is skipped while
// the panes go on; the trouble is told once, and again once it is over.
TEST(Emission, FileTroublesAreToldOnceAndWhenOver) {
    struct Case {
        const char* path;
        bool opens;  // opens but cannot be written (a full disk)
        const char* reason;
    };
    const Case cases[] = {
        {"pages.log", false, "No such file or directory"},
        {"pages.log", true, "No space left on device"},
        {"hits.flt", false, "No such file or directory"},
        {"hits.flt", true, "No space left on device"},
    };
    Settings settings = Logging();
    settings.Filters = {FilterRecord{FilterType::Pocsag, "1234567", 0, "", "", 0, 0, 0}};
    settings.FilterFileEnabled = 1;
    settings.FilterFile = "hits.flt";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.opens ? " unwritable" : " unopenable"));
        TestRig rig(settings);
        Output& out = rig.engine->output();
        auto& failing = c.opens ? rig.files.unwritable : rig.files.unopenable;
        failing.push_back(c.path);
        out.OpenLog("x");
        for (const char* text : {"ONE", "TWO"}) WritePage(out, FilterType::Pocsag, "1234567", 1, 2, text);
        EXPECT_EQ(rig.messageLines, (std::vector<std::string>{"1234567 ONE", "1234567 TWO"}));
        EXPECT_EQ(rig.filterLines.size(), 2u);
        EXPECT_EQ(rig.files.contents[c.path], "");
        EXPECT_EQ(rig.fileStatus.events, std::vector<std::string>{"failed " + std::string(c.path) + ": " + c.reason});

        failing.clear();
        WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "THREE");
        WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "FOUR");
        EXPECT_EQ(rig.files.contents[c.path], "1234567 THREE\n1234567 FOUR\n");
        EXPECT_EQ(rig.fileStatus.events.size(), 2u);
        EXPECT_EQ(rig.fileStatus.events.back(), "works " + std::string(c.path));
        const std::string other = c.path == std::string("hits.flt") ? "pages.log" : "hits.flt";
        EXPECT_EQ(rig.files.contents[other], "1234567 ONE\n1234567 TWO\n1234567 THREE\n1234567 FOUR\n");
    }
}

// However wide the window, completed lines reach the pane's view and the log.
TEST(Emission, WideWindowKeepsEveryLine) {
    for (const std::int32_t xSize : {1900000, 2147483647}) {
        Settings settings = Logging();
        settings.xSize = xSize;
        TestRig rig(settings);
        WritePage(rig.engine->output(), FilterType::Pocsag, "1234567", 1, 2, "WIDE");
        EXPECT_EQ(rig.messageLines, std::vector<std::string>{"1234567 WIDE"}) << xSize;
        EXPECT_EQ(rig.files.contents["pages.log"], "1234567 WIDE\n") << xSize;
        EXPECT_LE(rig.engine->output().MessagePane.lineWidth, Output::kMaxLineWidth);
    }
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
