// A new row width keeps the panes' text: lines are joined and wrapped again,
// colours travel with their characters, the row being written stays open,
// and a pane that cannot hold every row keeps the newest.
#include <gtest/gtest.h>

#include "output/output.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

struct ReflowCase {
    const char* name;
    std::uint32_t capacity;
    std::uint32_t fromWidth, toWidth;
    std::vector<std::string> lines;   // completed lines
    std::string partial;              // the line being written
    std::vector<std::string> rows;    // completed rows afterwards
};

void PrintTo(const ReflowCase& c, std::ostream* os) { *os << c.name; }

// Every character carries a colour derived from itself, so misplaced
// colours show.
std::uint8_t ColorFor(char c) { return static_cast<std::uint8_t>(2 + static_cast<unsigned char>(c) % 7); }

void Put(Output& out, const std::string& text) {
    for (const char c : text) {
        out.MessagePane.color = ColorFor(c);
        out.PanePutChar(out.MessagePane, c);
    }
}

class PaneReflow : public ::testing::TestWithParam<ReflowCase> {};

TEST_P(PaneReflow, KeepsTextAndColours) {
    const ReflowCase& c = GetParam();
    Settings s;
    s.Pane1Size = c.capacity;
    testing::TestRig rig(s);
    Output& out = rig.engine->output();
    out.ResizePanes(c.fromWidth);
    out.RowBreakOnly = true;  // rows only: no filters involved
    for (const std::string& line : c.lines) {
        Put(out, line);
        out.PaneEndLine(out.MessagePane);
    }
    Put(out, c.partial);
    TextPane& pane = out.MessagePane;
    pane.SetVisibleRows(2);

    out.ResizePanes(c.toWidth);
    ASSERT_EQ(pane.lineWidth, c.toWidth);
    ASSERT_EQ(pane.capacity, c.capacity);
    std::vector<std::string> rows;
    for (std::uint32_t r = 0; r < pane.row; ++r) rows.push_back(pane.RowText(r));
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(pane.RowText(pane.row), c.partial.substr(c.partial.size() - pane.column));
    EXPECT_LT(pane.column, c.toWidth);
    for (std::uint32_t r = 0; r <= pane.row; ++r) {
        for (std::size_t i = 0; pane.CharsOfRow(r)[i] != 0; ++i) {
            EXPECT_EQ(pane.AttrsOfRow(r)[i], ColorFor(static_cast<char>(pane.CharsOfRow(r)[i]))) << r << "," << i;
        }
    }
    // A re-flowed view shows the newest line.
    if (c.fromWidth != c.toWidth) {
        EXPECT_EQ(pane.TopRow(), std::max(0, static_cast<int>(pane.row) - 2));
    }
    // The writer goes on where it was.
    Put(out, "Z");
    EXPECT_EQ(pane.RowText(pane.row).back(), 'Z');
}

INSTANTIATE_TEST_SUITE_P(
    Widths, PaneReflow,
    ::testing::Values(
        ReflowCase{"wider_joins", 10, 5, 10, {"abcdefgh", "xy"}, "", {"abcdefgh", "xy"}},
        ReflowCase{"narrower_wraps", 10, 10, 4, {"abcdefghij"}, "pq", {"abcd", "efgh", "ij"}},
        ReflowCase{"open_line_wraps", 10, 10, 4, {}, "abcdefghi", {"abcd", "efgh"}},
        ReflowCase{"exact_fill_ends_with_empty_row", 10, 10, 4, {"abcdefgh"}, "", {"abcd", "efgh", ""}},
        ReflowCase{"same_width_keeps_all", 10, 6, 6, {"abcdefgh", "x"}, "yz", {"abcdef", "gh", "x"}},
        ReflowCase{"newest_rows_kept", 4, 10, 3, {"abcdef", "ghij"}, "k", {"", "ghi", "j"}}),
    [](const ::testing::TestParamInfo<ReflowCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tolvane
