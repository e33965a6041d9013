// tolvane-cli --mark-errors: runs in the bit-error colour are enclosed in
// « », also across a wrapped row, and nothing from the air can forge a mark.
// (The decoder tests read their damaged lines through it, marks in the
// middle and at the end of a line included.)
#include "app/cli/error_marks.h"

#include <gtest/gtest.h>

#include "support/loopback.h"

namespace tolvane {
namespace {

using testing::TestRig;

struct Piece {
    ColorClass color;
    std::string text;
};

struct MarkCase {
    const char* what;
    std::vector<Piece> pieces;
    std::string expected;
};

class ErrorMarks : public ::testing::TestWithParam<MarkCase> {};

TEST_P(ErrorMarks, EnclosesBitErrorRuns) {
    TestRig rig;
    Output& out = rig.engine->output();
    std::vector<std::string> lines;
    ErrorMarkingJoiner joiner([&](const std::string& line) { lines.push_back(line); });
    out.MessagePane.view = &joiner;
    out.RowBreakOnly = true;
    for (const Piece& p : GetParam().pieces) {
        out.PaneSetColor(out.MessagePane, p.color);
        out.PanePutText(out.MessagePane, p.text);
    }
    out.PaneEndLine(out.MessagePane);
    out.RowBreakOnly = false;
    EXPECT_EQ(lines, std::vector<std::string>{GetParam().expected});
}

const std::string kLong(150, 'x');  // wider than the default pane

INSTANTIATE_TEST_SUITE_P(
    Lines, ErrorMarks,
    ::testing::Values(
        MarkCase{"over a wrap", {{ColorClass::BitErrors, kLong}, {ColorClass::Alphanumeric, "z"}},
                 "\u00ab" + kLong + "\u00bbz"},
        MarkCase{"forged mark", {{ColorClass::Alphanumeric, "a\xc2\xab" "b\x01"}}, "a..b."}));

}  // namespace
}  // namespace tolvane
