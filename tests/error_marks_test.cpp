// tolvane-cli --mark-errors: runs in the bit-error colour are enclosed in
// « », also across a wrapped row, and nothing from the air can forge a mark.
// (The decoder tests read their damaged lines through it, marks in the
// middle and at the end of a line included.)
#include "output/error_marks.h"

#include <gtest/gtest.h>

#include "support/loopback.h"

namespace tolvane {
namespace {

using testing::TestRig;

TEST(ErrorMarks, EnclosesBitErrorRuns) {
    const std::string longRun(150, 'x');  // wider than the default pane
    struct Case {
        std::vector<std::pair<ColorClass, std::string>> pieces;
        std::string expected;
    };
    const Case cases[] = {
        {{{ColorClass::BitErrors, longRun}, {ColorClass::Alphanumeric, "z"}}, "\u00ab" + longRun + "\u00bbz"},
        {{{ColorClass::Alphanumeric, "a\xc2\xab" "b\x01"}}, "a..b."},  // a forged mark
    };
    for (const Case& c : cases) {
        TestRig rig;
        Output& out = rig.engine->output();
        std::vector<std::string> lines;
        ErrorMarkingJoiner joiner([&](const std::string& line) { lines.push_back(line); });
        out.MessagePane.view = &joiner;
        out.SetRowBreakOnly(true);
        for (const auto& [color, text] : c.pieces) {
            out.PaneSetColor(out.MessagePane, color);
            out.PanePutText(out.MessagePane, text);
        }
        out.PaneEndLine(out.MessagePane);
        out.SetRowBreakOnly(false);
        EXPECT_EQ(lines, std::vector<std::string>{c.expected});
    }
}

}  // namespace
}  // namespace tolvane
