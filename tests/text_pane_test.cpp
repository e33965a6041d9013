// The scrollback grid: the view that follows the end (or stays put) and
// is reset by clearing, sizes that cannot be had, and re-flowing
// the text at a new row width.
#include "display/text_pane.h"

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "output/output.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

using testing::TestRig;
using Lines = std::vector<std::string>;

// A message pane of `rows` rows, `visibleRows` of them in view, recording
// what the pane asks its window to do. Rows are written as row breaks
// only: no filters involved.
struct Pane : PaneView {
    Pane(std::uint32_t rows, std::int32_t visibleRows) : rig(Sized(rows)) {
        pane().view = this;
        pane().SetVisibleRows(visibleRows);
        events.clear();
    }
    static Settings Sized(std::uint32_t rows) {
        Settings s;
        s.Pane1Size = rows;
        return s;
    }
    void RowCompleted(const TextPane&, std::uint32_t, bool) override {}
    void ScrollRows(const TextPane&, int delta) override { events.push_back("scroll " + std::to_string(delta)); }
    void InvalidateRows(const TextPane&, int from, int to) override { events.push_back("paint " + std::to_string(from) + ".." + std::to_string(to)); }
    void SetScroll(const TextPane&, int max, int at) override { events.push_back("bar " + std::to_string(max) + "@" + std::to_string(at)); }
    Output& out() { return rig.engine->output(); }
    TextPane& pane() { return out().MessagePane; }
    void Put(const std::string& text, bool end = true) {
        out().SetRowBreakOnly(true);
        out().PanePutText(pane(), text);
        if (end) out().PaneEndLine(pane());
        out().SetRowBreakOnly(false);
    }
    TestRig rig;
    Lines events;
};

TEST(TextPane, ViewFollowsTheEndOrStaysWhereTheUserScrolled) {
    Pane p(10, 3);
    for (int i = 1; i <= 3; ++i) p.Put("x");
    EXPECT_EQ(p.events, (Lines{"paint 0..0", "paint 1..1", "paint 2..2"}));
    p.events.clear();
    p.Put("x");  // the fourth row is below the view: follow it
    EXPECT_EQ(std::tuple(p.pane().TopRow(), p.pane().ScrollMax()), std::tuple(1, 1));
    EXPECT_EQ(p.events, (Lines{"scroll 1", "paint 2..3", "bar 1@1"}));
    // Still following once the grid is full: the oldest row is dropped and
    // the top row stays put.
    for (int i = 0; i < 20; ++i) p.Put("y" + std::to_string(i));
    EXPECT_EQ(p.pane().TopRow(), 6);
    EXPECT_EQ(std::tuple(p.pane().row, p.pane().RowText(0), p.pane().RowText(8)), std::tuple(9u, "y11", "y19"));
    EXPECT_EQ(p.events.back(), "bar 6@6");
    // Clearing empties the grid and resets the view.
    p.Put("partial", false);
    p.events.clear();
    p.pane().ClearPane();
    EXPECT_EQ(std::tuple(p.pane().row, p.pane().column, p.pane().TopRow(), p.pane().ScrollMax()), std::tuple(0u, 0u, 0, 0));
    for (std::uint32_t r = 0; r < 10; ++r) EXPECT_EQ(p.pane().RowText(r), "");
    EXPECT_EQ(p.events, Lines{"bar 0@0"});

    // Scrolled back by the user, the view stays on the same text.
    for (int i = 0; i < 6; ++i) p.Put("a" + std::to_string(i));
    p.pane().ScrollTo(1);
    p.events.clear();
    p.Put("a6");
    EXPECT_EQ(p.pane().TopRow(), 1);
    EXPECT_EQ(p.pane().ScrollMax(), 4);  // the range still grows
    EXPECT_EQ(p.events, Lines{"paint 5..5"});
    for (int i = 7; i < 12; ++i) p.Put("a" + std::to_string(i));
    // Full now: each new row moves the text up and the view with it, until
    // the view stands at the oldest row kept and is repainted whole.
    EXPECT_EQ(p.pane().TopRow(), 0);
    EXPECT_EQ(p.pane().RowText(0), "a3");
    EXPECT_EQ(p.events.back(), "paint 0..3");
    for (const std::string& e : p.events) EXPECT_EQ(e.rfind("paint", 0), 0u) << e;  // no scroll, no bar
    // Scrolling stays within the rows there are.
    for (const auto& [to, expected] : {std::pair{-5, 0}, {100, 6}, {4, 4}}) {
        p.pane().ScrollTo(to);
        EXPECT_EQ(p.pane().TopRow(), expected) << to;
    }
    EXPECT_FALSE(p.pane().FollowsEnd());
    p.pane().ScrollBy(2);
    EXPECT_TRUE(p.pane().FollowsEnd());
    // A row being written over older text ends at the cursor.
    p.pane().row = 8;
    EXPECT_EQ(p.pane().RowText(8), "a11");
    p.Put("ab", false);
    EXPECT_EQ(p.pane().RowText(8), "ab");
}

// Pane sizes and a window width that cannot be had fall back; the pages
// still reach the view and the log.
TEST(TextPane, SizesThatCannotBeHadFallBackAndAreStored) {
    Settings s;
    s.Pane1Size = 0xFFFFFFFFu;
    s.Pane2Size = 0;
    s.xSize = 2147483647;
    s.LogFileEnabled = 1;
    s.LogFile = "pages.log";
    TestRig rig(s);
    Output& out = rig.engine->output();
    const Settings& stored = rig.engine->settings();
    EXPECT_EQ(std::tuple(out.MessagePane.capacity, out.FilterPane.capacity), std::tuple(1000u, 200u));
    EXPECT_EQ(std::tuple(stored.Pane1Size, stored.Pane2Size), std::tuple(1000u, 200u));
    testing::WritePage(out, FilterType::Pocsag, "1234567", 1, 2, "WIDE");
    EXPECT_EQ(rig.messageLines, Lines{"1234567 WIDE"});
    EXPECT_EQ(rig.files.contents["pages.log"], "1234567 WIDE\n");
    EXPECT_TRUE(rig.engine->Panes().SetScrollback(out.FilterPane, 350));
    EXPECT_EQ(std::tuple(out.FilterPane.capacity, stored.Pane2Size), std::tuple(350u, 350u));
    EXPECT_FALSE(rig.engine->Panes().SetScrollback(out.MessagePane, 0x7FFFFFFFu));
    EXPECT_EQ(std::tuple(out.MessagePane.capacity, stored.Pane1Size), std::tuple(1000u, 1000u));
}

// A new row width keeps the panes' text: lines are joined and wrapped again,
// colours travel with their characters, the row being written stays open,
// and a pane that cannot hold every row keeps the newest.
TEST(TextPane, ReflowKeepsTextAndColours) {
    struct Case {
        std::uint32_t capacity, fromWidth, toWidth;
        Lines lines;          // completed lines
        std::string partial;  // the line being written
        Lines rows;           // completed rows afterwards
    };
    const Case cases[] = {
        {10, 5, 10, {"abcdefgh", "xy"}, "", {"abcdefgh", "xy"}},        // wider: joined
        {10, 10, 4, {"abcdefghij"}, "pq", {"abcd", "efgh", "ij"}},      // narrower: wrapped
        {10, 10, 4, {}, "abcdefghi", {"abcd", "efgh"}},                 // the open line wraps
        {10, 10, 4, {"abcdefgh"}, "", {"abcd", "efgh", ""}},            // an exact fill ends with an empty row
        {10, 6, 6, {"abcdefgh", "x"}, "yz", {"abcdef", "gh", "x"}},     // the same width keeps all
        {4, 10, 3, {"abcdef", "ghij"}, "k", {"", "ghi", "j"}},          // the newest rows are kept
    };
    // Every character carries a colour derived from itself, so misplaced
    // colours show.
    const auto colour = [](std::uint8_t c) { return static_cast<std::uint8_t>(2 + c % 7); };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.rows));
        Pane p(c.capacity, 2);
        Output& out = p.out();
        TextPane& pane = p.pane();
        p.rig.engine->Panes().ResizePanes(c.fromWidth);
        const auto put = [&](const std::string& text) {
            for (const char ch : text) {
                pane.color = colour(static_cast<std::uint8_t>(ch));
                out.PanePutChar(pane, ch);
            }
        };
        out.SetRowBreakOnly(true);
        for (const std::string& line : c.lines) {
            put(line);
            out.PaneEndLine(pane);
        }
        put(c.partial);
        p.rig.engine->Panes().ResizePanes(c.toWidth);
        ASSERT_EQ(std::tuple(pane.lineWidth, pane.capacity), std::tuple(c.toWidth, c.capacity));
        Lines rows;
        for (std::uint32_t r = 0; r < pane.row; ++r) rows.push_back(pane.RowText(r));
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(pane.RowText(pane.row), c.partial.substr(c.partial.size() - pane.column));
        for (std::uint32_t r = 0; r <= pane.row; ++r)
            for (std::size_t i = 0; pane.CharsOfRow(r)[i] != 0; ++i) EXPECT_EQ(pane.AttrsOfRow(r)[i], colour(pane.CharsOfRow(r)[i]));
        // A re-flowed view shows the newest line; the writer goes on where it was.
        if (c.fromWidth != c.toWidth) {
            EXPECT_EQ(pane.TopRow(), std::max(0, static_cast<int>(pane.row) - 2));
        }
        put("Z");
        EXPECT_EQ(pane.RowText(pane.row).back(), 'Z');
    }
}

}  // namespace
// The panes leave six cells of the window for the scroll bar and frame; a
// width that does not fit would wrap every full row twice on screen.
TEST(TextPane, LineWidthLeavesSixCellsOfTheWindow) {
    const struct { std::int32_t window, charWidth; std::uint32_t cells; } rows[] = {
        {640, 7, 85}, {646, 7, 86}, {800, 8, 94}, {48, 7, 1}, {10, 7, 1}, {640, 0, 85}};  // no font width yet: 7 pixels
    for (const auto& r : rows) EXPECT_EQ(Engine::LineWidthFor(r.window, r.charWidth), r.cells) << r.window << "/" << r.charWidth;
}

}  // namespace tolvane
