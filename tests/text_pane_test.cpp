// The scrollback grid: dropping the oldest row, the view that follows the
// end (or stays put), clearing, and sizes that cannot be had.
#include "display/text_pane.h"

#include <gtest/gtest.h>

#include "output/output.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

using testing::TestRig;

// Records what the pane asks its window to do.
class RecordingView : public PaneView {
public:
    void RowCompleted(const TextPane&, std::uint32_t, bool) override {}
    void ScrollRows(const TextPane&, int delta) override { events.push_back("scroll " + std::to_string(delta)); }
    void InvalidateRows(const TextPane&, int first, int last) override {
        events.push_back("paint " + std::to_string(first) + ".." + std::to_string(last));
    }
    void SetScroll(const TextPane&, int scrollMax, int position) override {
        events.push_back("bar " + std::to_string(scrollMax) + "@" + std::to_string(position));
    }
    std::vector<std::string> events;
};

void PutLine(Output& out, const std::string& text) {
    out.RowBreakOnly = true;  // rows only: no filters involved
    out.PanePutText(out.MessagePane, text);
    out.PaneEndLine(out.MessagePane);
    out.RowBreakOnly = false;
}

struct Pane {
    explicit Pane(std::uint32_t rows, std::int32_t visibleRows) {
        Settings s;
        s.Pane1Size = rows;
        rig = std::make_unique<TestRig>(s);
        out().MessagePane.view = &view;
        out().MessagePane.SetVisibleRows(visibleRows);
        view.events.clear();
    }
    Output& out() { return rig->engine->output(); }
    TextPane& pane() { return out().MessagePane; }
    std::unique_ptr<TestRig> rig;
    RecordingView view;
};

TEST(TextPane, FullBufferDropsTheOldestRow) {
    Pane p(200, 10);
    for (int i = 1; i <= 200; ++i) PutLine(p.out(), "line " + std::to_string(i));
    EXPECT_EQ(p.pane().row, 199u);
    EXPECT_EQ(p.pane().RowText(0), "line 2");
    EXPECT_EQ(p.pane().RowText(198), "line 200");
    EXPECT_EQ(p.pane().RowText(199), "");
    PutLine(p.out(), "line 201");
    EXPECT_EQ(p.pane().RowText(0), "line 3");
    EXPECT_EQ(p.pane().RowText(198), "line 201");
    EXPECT_EQ(p.pane().row, 199u);
}

TEST(TextPane, ViewFollowsTheEnd) {
    Pane p(10, 3);
    for (int i = 1; i <= 3; ++i) PutLine(p.out(), "x");
    EXPECT_EQ(p.view.events, (std::vector<std::string>{"paint 0..0", "paint 1..1", "paint 2..2"}));
    p.view.events.clear();
    PutLine(p.out(), "x");  // the fourth row is below the view: follow it
    EXPECT_EQ(p.pane().TopRow(), 1);
    EXPECT_EQ(p.pane().ScrollMax(), 1);
    EXPECT_EQ(p.view.events, (std::vector<std::string>{"scroll 1", "paint 2..3", "bar 1@1"}));
    // Still following once the grid is full: the top row stays put.
    for (int i = 0; i < 20; ++i) PutLine(p.out(), "y" + std::to_string(i));
    EXPECT_EQ(p.pane().row, 9u);
    EXPECT_EQ(p.pane().TopRow(), 6);
    EXPECT_EQ(p.pane().RowText(static_cast<std::uint32_t>(p.pane().TopRow() + 2)), "y19");
    EXPECT_EQ(p.view.events.back(), "bar 6@6");
}

TEST(TextPane, ScrolledBackViewStaysOnTheSameText) {
    Pane p(10, 3);
    for (int i = 0; i < 6; ++i) PutLine(p.out(), "a" + std::to_string(i));
    p.pane().ScrollTo(1);  // the user scrolled back
    p.view.events.clear();
    PutLine(p.out(), "a6");
    EXPECT_EQ(p.pane().TopRow(), 1);
    EXPECT_EQ(p.pane().ScrollMax(), 4);  // the range still grows
    EXPECT_EQ(p.view.events, std::vector<std::string>{"paint 5..5"});
    for (int i = 7; i < 12; ++i) PutLine(p.out(), "a" + std::to_string(i));
    // Full now: each new row moves the text up and the view with it, until
    // the view stands at the oldest row kept and is repainted whole.
    EXPECT_EQ(p.pane().row, 9u);
    EXPECT_EQ(p.pane().TopRow(), 0);
    EXPECT_EQ(p.pane().RowText(0), "a3");
    EXPECT_EQ(p.view.events.back(), "paint 0..3");
    for (const std::string& e : p.view.events) EXPECT_EQ(e.rfind("paint", 0), 0u) << e;  // no scroll, no bar
    // Scrolling stays within the rows there are.
    for (const auto& [to, expected] : std::vector<std::pair<int, int>>{{-5, 0}, {100, 6}, {4, 4}}) {
        p.pane().ScrollTo(to);
        EXPECT_EQ(p.pane().TopRow(), expected) << to;
    }
    EXPECT_FALSE(p.pane().FollowsEnd());
    p.pane().ScrollBy(2);
    EXPECT_TRUE(p.pane().FollowsEnd());
}

TEST(TextPane, ClearPaneEmptiesAndResetsTheView) {
    Pane p(10, 3);
    for (int i = 0; i < 8; ++i) PutLine(p.out(), "row");
    p.out().PanePutText(p.pane(), "partial");
    p.view.events.clear();
    p.pane().ClearPane();
    EXPECT_EQ(p.pane().row, 0u);
    EXPECT_EQ(p.pane().column, 0u);
    EXPECT_EQ(p.pane().TopRow(), 0);
    EXPECT_EQ(p.pane().ScrollMax(), 0);
    for (std::uint32_t r = 0; r < 10; ++r) EXPECT_EQ(p.pane().RowText(r), "");
    EXPECT_EQ(p.view.events, std::vector<std::string>{"bar 0@0"});
    // A row being written over older text ends at the cursor.
    PutLine(p.out(), "longer text");
    p.pane().row = 0;
    p.out().PanePutText(p.pane(), "ab");
    EXPECT_EQ(p.pane().RowText(0), "ab");
}

TEST(TextPane, SizesThatCannotBeHadFallBackAndAreStored) {
    Settings s;
    s.Pane1Size = 0xFFFFFFFFu;
    s.Pane2Size = 0;
    TestRig rig(s);
    Output& out = rig.engine->output();
    EXPECT_EQ(out.MessagePane.capacity, 1000u);
    EXPECT_EQ(out.FilterPane.capacity, 200u);
    EXPECT_EQ(rig.engine->settings().Pane1Size, 1000u);
    EXPECT_EQ(rig.engine->settings().Pane2Size, 200u);

    EXPECT_TRUE(out.SetScrollback(out.FilterPane, 350));
    EXPECT_EQ(out.FilterPane.capacity, 350u);
    EXPECT_EQ(rig.engine->settings().Pane2Size, 350u);
    EXPECT_FALSE(out.SetScrollback(out.MessagePane, 0x7FFFFFFFu));
    EXPECT_EQ(out.MessagePane.capacity, 1000u);
    EXPECT_EQ(rig.engine->settings().Pane1Size, 1000u);

    out.PanePutText(out.MessagePane, "kept");
    out.ResizePanes(20);
    EXPECT_EQ(out.MessagePane.lineWidth, 20u);
    EXPECT_EQ(out.FilterPane.capacity, 350u);
    EXPECT_EQ(out.MessagePane.column, 4u);
    EXPECT_EQ(out.MessagePane.RowText(0), "kept");
}

}  // namespace
}  // namespace tolvane
