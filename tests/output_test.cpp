// The emission operations: cells, wrap, CurrentLine, log echo, flags.
#include "output/output.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/fake_world.h"

namespace tolvane {
namespace {

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

// One page after another through a 10-column pane: rows reach the log whole
// as they end (control and high-bit bytes as dots there only), a line that
// wraps stays one line, a rejected page writes nothing but still breaks the
// row, and a row break alone (a frame row) is logged but neither collected
// nor filtered nor arming the flush.
TEST(Emission, RowsLinesAndTheLog) {
    Settings settings = Logging(1, 2);
    settings.Filters = {FilterRecord{FilterType::Text, "", 0, "", "FRAME", 0, 0, 0}};
    TestRig rig(settings);
    Output& out = rig.engine->output();
    out.CreatePanes(10);
    out.RowBreakOnly = true;
    out.PanePutText(out.MessagePane, "FRAME 12");
    out.PaneEndLine(out.MessagePane);
    out.RowBreakOnly = false;
    EXPECT_EQ(std::tuple(out.Line().length, out.LogFlushCountdown), std::tuple(0, 0u));
    out.PanePutText(out.MessagePane, "abcdefghijklmnopqrstuvwxy");  // 25 characters
    EXPECT_EQ(std::tuple(out.MessagePane.row, out.MessagePane.column, out.Line().length), std::tuple(3u, 5u, 25));
    EXPECT_EQ(out.MessagePane.RowText(3), "uvwxy");  // the row being written ends at the cursor
    EXPECT_EQ(rig.files.contents["pages.log"], "FRAME 12\nabcdefghij\nklmnopqrst\n");
    out.PaneEndLine(out.MessagePane);
    const std::uint8_t bytes[] = {0x41, 0x00, 0x1F, 0x7F, 0x80, 0x9F, 0xA0, 0xC1, 0xFF};
    for (const std::uint8_t b : bytes) out.PanePutChar(out.MessagePane, b);
    const std::string shown = "A\x1F\x7F\x80\x9F\xA0\xC1\xFF";  // kept as they are, but for the 0
    EXPECT_EQ(out.MessagePane.RowText(4), shown);
    EXPECT_EQ(std::string(out.Line().chars.begin(), out.Line().chars.begin() + out.Line().length), shown);
    out.PaneEndLine(out.MessagePane);
    out.PanePutText(out.MessagePane, "ab");
    out.SuppressOutput = true;
    out.PanePutText(out.MessagePane, "xyz");
    out.RowBreakOnly = true;
    out.PaneEndLine(out.MessagePane);
    out.RowBreakOnly = false;
    out.PaneEndLine(out.MessagePane);  // only clears the flag
    EXPECT_EQ(std::tuple(out.SuppressOutput, out.MessagePane.row, out.Line().length), std::tuple(false, 6u, 2));
    out.PanePutChar(out.FilterPane, 'F');  // never logged
    rig.engine->settings().LogFileEnabled = 0;
    out.PanePutChar(out.MessagePane, 'M');
    EXPECT_EQ(rig.files.contents["pages.log"], "FRAME 12\nabcdefghij\nklmnopqrst\nuvwxy\nA..\x7F.. A\x7F\nab\n");
    EXPECT_EQ(rig.messageLines, (Lines{"FRAME 12", "abcdefghijklmnopqrstuvwxy", shown, "ab"}));
    EXPECT_TRUE(rig.filterLines.empty());
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
    // 1031 characters are collected; the rest is shown but not filtered.
    for (int i = 0; i < 4; ++i) out.PanePutText(out.MessagePane, std::string(200, 'x'));
    EXPECT_EQ(out.Line().length, 1031);
    out.PanePutText(out.MessagePane, "NEEDLE");
    EXPECT_EQ(out.Line().chars[1030], 'x');
    out.PaneEndLine(out.MessagePane);
    ASSERT_EQ(rig.messageLines.size(), 1u);
    EXPECT_EQ(rig.messageLines[0].size(), 1064u);
    EXPECT_TRUE(rig.filterLines.empty());
}

// The log is flushed a time after the first unflushed line (code 1: at
// once); a running countdown is not restarted by later lines.
TEST(Emission, LogFlushCountdown) {
    for (const auto& [code, ticks] : {std::pair{1, 0}, {2, 50}, {3, 100}, {4, 300}, {5, 600}}) {
        SCOPED_TRACE(code);
        TestRig rig(Logging(1, code));
        Output& out = rig.engine->output();
        WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "ONE");
        for (int tick = 1; tick < ticks; ++tick) {
            out.FlushTick();
            if (tick == 10) WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "TWO");
        }
        EXPECT_EQ(rig.files.flushed["pages.log"], ticks == 0 ? "1234567 ONE\n" : "");
        out.FlushTick();
        EXPECT_EQ(rig.files.flushed["pages.log"], ticks == 0 ? "1234567 ONE\n" : "1234567 ONE\n1234567 TWO\n");
        WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "THREE");  // the next line arms it again
        for (int tick = 0; tick < ticks; ++tick) out.FlushTick();
        EXPECT_EQ(rig.files.flushed["pages.log"], rig.files.contents["pages.log"]);
    }
    // Without LogFileFlush nothing counts.
    TestRig rig(Logging(1, 3));
    Output& out = rig.engine->output();
    WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "ONE");
    rig.engine->settings().LogFileFlush = 0;
    for (int tick = 0; tick < 100; ++tick) out.FlushTick();
    EXPECT_EQ(rig.files.flushed["pages.log"], "");
}

// A log or filter file that cannot be opened or written is skipped while
// the panes go on; the trouble is told once, and again once it is over.
TEST(Emission, FileTroublesAreToldOnceAndWhenOver) {
    Settings settings = Logging();
    settings.Filters = {FilterRecord{FilterType::Pocsag, "1234567", 0, "", "", 0, 0, 0}};
    settings.FilterFileEnabled = 1;
    settings.FilterFile = "hits.flt";
    for (const std::string path : {"pages.log", "hits.flt"}) {
        for (const bool opens : {false, true}) {  // opens but cannot be written: a full disk
            SCOPED_TRACE(path + (opens ? " unwritable" : " unopenable"));
            TestRig rig(settings);
            Output& out = rig.engine->output();
            auto& failing = opens ? rig.files.unwritable : rig.files.unopenable;
            failing.push_back(path);
            out.OpenLog("x");
            for (const char* text : {"ONE", "TWO"}) WritePage(out, FilterType::Pocsag, "1234567", 1, 2, text);
            EXPECT_EQ(rig.messageLines, (Lines{"1234567 ONE", "1234567 TWO"}));
            EXPECT_EQ(rig.filterLines.size(), 2u);
            EXPECT_EQ(rig.files.contents[path], "");
            const char* reason = opens ? "No space left on device" : "No such file or directory";
            EXPECT_EQ(rig.fileStatus.events, Lines{"failed " + path + ": " + reason});
            failing.clear();
            for (const char* text : {"THREE", "FOUR"}) WritePage(out, FilterType::Pocsag, "1234567", 1, 2, text);
            EXPECT_EQ(rig.files.contents[path], "1234567 THREE\n1234567 FOUR\n");
            EXPECT_EQ(rig.fileStatus.events, (Lines{"failed " + path + ": " + reason, "works " + path}));
            const std::string other = path == "hits.flt" ? "pages.log" : "hits.flt";
            EXPECT_EQ(rig.files.contents[other], "1234567 ONE\n1234567 TWO\n1234567 THREE\n1234567 FOUR\n");
        }
    }
}

// However wide the window, completed lines reach the pane's view and the log.
TEST(Emission, WideWindowKeepsEveryLine) {
    for (const std::int32_t xSize : {1900000, 2147483647}) {
        Settings settings = Logging();
        settings.xSize = xSize;
        TestRig rig(settings);
        WritePage(rig.engine->output(), FilterType::Pocsag, "1234567", 1, 2, "WIDE");
        EXPECT_EQ(rig.messageLines, Lines{"1234567 WIDE"}) << xSize;
        EXPECT_EQ(rig.files.contents["pages.log"], "1234567 WIDE\n") << xSize;
    }
}

}  // namespace
}  // namespace tolvane
