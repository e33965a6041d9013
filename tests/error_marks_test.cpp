// tolvane-cli --mark-errors: runs in the bit-error colour are enclosed in
// « », also across a wrapped row, and nothing from the air can forge a mark.
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
        MarkCase{"clean", {{ColorClass::Capcode, "{0000008} 1 1200 "}, {ColorClass::Alphanumeric, "ok"}},
                 "{0000008} 1 1200 ok"},
        MarkCase{"middle",
                 {{ColorClass::Alphanumeric, "ab"}, {ColorClass::BitErrors, "cd"}, {ColorClass::Alphanumeric, "e"}},
                 "ab\u00abcd\u00bbe"},
        MarkCase{"at the end", {{ColorClass::Alphanumeric, "ab"}, {ColorClass::BitErrors, "cd"}},
                 "ab\u00abcd\u00bb"},
        MarkCase{"over a wrap", {{ColorClass::BitErrors, kLong}, {ColorClass::Alphanumeric, "z"}},
                 "\u00ab" + kLong + "\u00bbz"},
        MarkCase{"forged mark", {{ColorClass::Alphanumeric, "a\xc2\xab" "b\x01"}}, "a..b."}));

// A streamed POCSAG message: the characters of an uncorrectable codeword
// come out marked, the rest of the page does not.
TEST(ErrorMarksEndToEnd, UncorrectableStreamedWordIsMarked) {
    // 21 message codewords, streamed from the eighth on; slot 12 of the
    // first batch is the eleventh.
    gen::EncodeOptions options;
    options.errorWords = {12};
    TestRig rig;
    std::vector<std::string> lines;
    ErrorMarkingJoiner joiner([&](const std::string& line) { lines.push_back(line); });
    rig.engine->output().MessagePane.view = &joiner;
    rig.Feed(testing::ToEdges(testing::Encode({"pocsag:1200:8:0:alpha:" + std::string(60, 'A')}, options)));
    ASSERT_EQ(lines.size(), 1u);
    const std::size_t open = lines[0].find("\u00ab");
    ASSERT_NE(open, std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("\u00ab", open + 1), std::string::npos) << "one damaged run only: " << lines[0];
    const std::size_t body = lines[0].find(" 1200 ") + 6;
    ASSERT_LT(body, open) << lines[0];
    EXPECT_EQ(lines[0].substr(body, open - body), std::string(open - body, 'A')) << lines[0];
}

}  // namespace
}  // namespace tolvane
