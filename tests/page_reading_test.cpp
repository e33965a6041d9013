// Pages as people read them: FLEX fragments joined into one page, repeats
// within RepeatWindow folded, and the national 7-bit charsets shown as
// letters in the panes, the files, the records and the filters; with the
// settings that choose them.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "decoders/flex/fragment_joiner.h"
#include "output/charset.h"
#include "output/output.h"
#include "output/page_record.h"
#include "settings/settings_file.h"
#include "support/fake_world.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

using Lines = std::vector<std::string>;

// --- FLEX fragments -------------------------------------------------------

// What the joiner shows, as "pager:text", "+" marking an incomplete one,
// "!" one shown as damaged.
struct ShownMessages : FlexMessageShower {
    void ShowMessage(const FlexHeldMessage& m) override {
        const auto end = m.text.damaged.begin() + m.text.length;
        shown.push_back(std::to_string(m.key.w1) + ":" +
                        std::string(m.text.chars.begin(), m.text.chars.begin() + m.text.length) +
                        (m.incomplete ? "+" : "") + (std::find(m.text.damaged.begin(), end, true) != end ? "!" : ""));
    }
    Lines shown;
};

constexpr int kExpire = -1;  // a step that runs the time-out at `second`
constexpr int kFlush = -2;   // a step that ends the input

// `fragment` is F (or kExpire / kFlush), `number` N.
struct Step {
    int pager, fragment;
    bool more;
    const char* text;
    int second = 0, number = 0, signature = -1;
};

struct JoinCase {
    const char* name;
    std::vector<Step> steps;
    Lines shown;
};

class Joining : public ::testing::TestWithParam<JoinCase> {};

TEST_P(Joining, ShowsEveryMessageOnceWholeOrMarked) {
    ShownMessages shower;
    FlexFragmentJoiner joiner(shower);
    for (const Step& s : GetParam().steps) {
        const std::int64_t ms = std::int64_t{s.second} * 1000;
        if (s.fragment == kExpire) {
            joiner.Expire(ms);
        } else if (s.fragment == kFlush) {
            joiner.Flush();
        } else {
            FlexText text;
            for (const char* c = s.text; *c != '\0'; ++c) text.Add(static_cast<std::uint8_t>(*c), false);
            const FlexMessageKey key{s.pager, 0, false, s.number};
            joiner.Take(FlexFragment{key, kFlexAlphanumeric, "1600/2", 2, s.fragment, s.more, s.signature}, text, ms);
        }
    }
    EXPECT_EQ(shower.shown, GetParam().shown);
    EXPECT_EQ(joiner.Held(), 0);
}

// One more beginning than there are slots: the first is shown to make
// room and its place goes to the last.
JoinCase EverySlotTaken() {
    constexpr int kLast = FlexFragmentJoiner::kSlots + 1;
    JoinCase c{"every_slot_taken", {}, {"1:x+", std::to_string(kLast) + ":x+"}};
    for (int pager = 1; pager <= kLast; ++pager) c.steps.push_back({pager, 3, true, "x", pager});
    for (int pager = 2; pager < kLast; ++pager) c.shown.push_back(std::to_string(pager) + ":x+");
    c.steps.push_back({0, kFlush, false, ""});
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Fragments, Joining,
    ::testing::Values(
        JoinCase{"three_fragments", {{1, 3, true, "a"}, {1, 0, true, "b"}, {1, 1, true, "c"}, {1, 2, true, "d"},
                                     {1, 0, false, "e"}}, {"1:abcde"}},
        JoinCase{"pagers_interleaved",
                 {{1, 3, true, "A1"}, {2, 3, true, "B1"}, {2, 0, false, "B2"}, {1, 0, true, "A2"}, {1, 1, false, "A3"}},
                 {"2:B1B2", "1:A1A2A3"}},
        JoinCase{"message_numbers_apart",
                 {{1, 3, true, "m1", 0, 1}, {1, 3, true, "m2", 0, 2}, {1, 0, false, "-2", 1, 2}, {1, 0, false, "-1", 1, 1}},
                 {"1:m2-2", "1:m1-1"}},
        JoinCase{"fragments_received_twice",
                 {{1, 3, true, "A"}, {1, 3, true, "A"}, {1, 0, true, "B"}, {1, 0, true, "B"}, {1, 1, false, "C"}},
                 {"1:ABC"}},
        // The signature of the first fragment: the complement of the sum of
        // every character ('A' + 'B' + 'C' = 198 gives 57).
        JoinCase{"signature_adds_up", {{1, 3, true, "AB", 0, 0, 57}, {1, 0, false, "C"}}, {"1:ABC"}},
        JoinCase{"signature_wrong", {{1, 3, true, "AB", 0, 0, 58}, {1, 0, false, "C"}}, {"1:ABC!"}},
        JoinCase{"middle_lost", {{1, 3, true, "A"}, {1, 1, false, "C"}}, {"1:AC+"}},
        JoinCase{"beginning_lost", {{1, 0, true, "B"}, {1, 1, false, "C"}}, {"1:BC+"}},
        JoinCase{"rest_never_comes", {{1, 3, true, "A", 0}, {0, kExpire, false, "", 60}, {0, kExpire, false, "", 61}},
                 {"1:A+"}},
        JoinCase{"time_out_runs_from_the_last_fragment",
                 {{1, 3, true, "A", 0}, {1, 0, true, "B", 50}, {0, kExpire, false, "", 100}, {1, 1, false, "C", 105}},
                 {"1:ABC"}},
        JoinCase{"input_ends", {{1, 3, true, "A"}, {2, 3, true, "B"}, {0, kFlush, false, ""}}, {"1:A+", "2:B+"}},
        JoinCase{"new_beginning_ends_the_old",
                 {{1, 3, true, "A"}, {1, 0, true, "B"}, {1, 3, true, "X"}, {1, 0, false, "Y"}}, {"1:AB+", "1:XY"}},
        EverySlotTaken()),
    [](const ::testing::TestParamInfo<JoinCase>& param) { return std::string(param.param.name); });

std::string Letters(char first, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += static_cast<char>(first + i % 26);
    return text;
}

// The page lines of a pane, without the frame rows.
Lines PageLines(const Lines& lines) {
    Lines out;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(out), [](const std::string& l) { return l[0] == '['; });
    return out;
}

// 400 letters on 1600/2, the vector of the second fragment (frame 1,
// phase A) uncorrectable on the air.
std::vector<EdgeEntry> SecondFragmentLost() {
    gen::EncodeOptions options;
    options.errorWords = {352 + 2};
    return testing::ToEdges(testing::Encode({"flex:1600/2:1:0:alpha:" + Letters('A', 400)}, options));
}

// Texts longer than a frame go out in fragments as transmitters send them
// (the first fills the room left in its frame), so fragments of different
// pagers share frames; on 6400/4 they also run on different phases. The
// letter shows bits 2..3 of the capcode; on 6400/4 they also choose the
// phase that carries the page, on 1600/2 phase A carries all.
TEST(FragmentsEndToEnd, InterleavedPagersAndPhasesJoinOnceWhole) {
    const std::string a = Letters('A', 400), b = Letters('a', 300);
    for (const int levels : {2, 4}) {
        const std::string head = levels == 2 ? "flex:1600/2" : "flex:6400/4";
        SCOPED_TRACE(head);
        const std::vector<std::string> pages = {head + ":1:0:alpha:" + a, head + ":5:0:alpha:" + b, head + ":9:0:alpha:short"};
        const std::vector<EdgeEntry> edges = testing::ToEdges(testing::Encode(pages), {0, 0, false, levels});
        const auto joined = testing::Receive(edges, testing::Untimed(levels));
        EXPECT_EQ(PageLines(joined->messageLines),
                  (Lines{"[0000001]    A  ALPHA  " + a, "[0000005]    B  ALPHA  " + b, "[0000009]    C  ALPHA  short"}));
        EXPECT_EQ(joined->engine->Stats().DailyStats.alphaMsgs[static_cast<std::size_t>(levels == 4 ? F6400 : F1600)], 3u);
    }
}

// A fragment lost on the air: the message is shown with what came, marked,
// when the input ends; its record says so.
TEST(FragmentsEndToEnd, LostFragmentShownIncompleteNeverLost) {
    testing::TestRig rig(testing::Untimed());
    testing::FakeRecords records;
    rig.engine->SetRecordSink(&records, "rx");
    rig.Feed(SecondFragmentLost());
    const Lines pages = PageLines(rig.messageLines);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].rfind("[0000001]    A  ALPHA  (incomplete) ABCDEFG", 0), 0u) << pages[0];
    EXPECT_LT(pages[0].size(), 36 + 400u);
    ASSERT_EQ(records.pages.size(), 1u);
    EXPECT_NE(records.pages[0].find(R"("message":"ABCDEFG)"), std::string::npos) << records.pages[0];
    EXPECT_TRUE(records.pages[0].ends_with(R"(,"incomplete":true})")) << records.pages[0];
}

// The rest never comes: after the time-out the part received is shown, but
// not into a line another decoder is still writing.
TEST(FragmentsEndToEnd, TimeOutWaitsForAnOpenLine) {
    testing::TestRig rig(testing::Untimed());
    rig.Feed(SecondFragmentLost(), false);
    Output& out = rig.engine->output();
    out.PanePutText(out.MessagePane, "{0000002} 1 1200 still coming");
    rig.Run(61);
    EXPECT_EQ(rig.messageLines.size(), 2u);  // the two frame rows
    out.PaneEndLine(out.MessagePane);
    rig.Run(1);
    ASSERT_EQ(rig.messageLines.size(), 4u);
    EXPECT_EQ(rig.messageLines[2], "{0000002} 1 1200 still coming");
    EXPECT_EQ(rig.messageLines[3].rfind("[0000001]    A  ALPHA  (incomplete) ABC", 0), 0u) << rig.messageLines[3];
}

// --- Repeats folded -------------------------------------------------------

// Settings that write the log to pages.log and the filter file to pages.flt.
Settings Logged(Settings settings) {
    settings.LogFileEnabled = 1, settings.LogFile = "pages.log";
    settings.FilterFileEnabled = 1, settings.FilterFile = "pages.flt";
    return settings;
}

struct Sent {
    int advance;  // seconds before this page
    const char* capcode;
    const char* text;
};

struct FoldCase {
    const char* name;
    int window;
    std::vector<Sent> pages;
    Lines shown;
};

class Folding : public ::testing::TestWithParam<FoldCase> {};

// The repeat leaves no line in either pane, no log or filter-file line, no
// beep and no command; it is counted.
TEST_P(Folding, RepeatsShownOnceAndCounted) {
    const FoldCase& c = GetParam();
    Settings settings = Logged({});
    settings.RepeatWindow = c.window;
    settings.FilterBeep = 1;
    settings.FilterCmdFileEnabled = 1, settings.FilterCmdFile = "/bin/notify";
    settings.Filters = {FilterRecord{FilterType::Text, "", 0, "", "FIRE", 1, 0, 0}};
    testing::TestRig rig(settings);
    Output& out = rig.engine->output();
    rig.engine->Panes().CreatePanes(20);  // some pages wrap
    for (const Sent& p : c.pages) {
        rig.clock.Advance(p.advance);
        testing::WritePage(out, FilterType::Pocsag, p.capcode, 1, 2, p.text);
    }
    EXPECT_EQ(rig.messageLines, c.shown);
    EXPECT_EQ(rig.filterLines, c.shown);
    std::string log;
    for (const std::string& line : c.shown) log += line.substr(0, 20) + "\n" + (line.size() > 20 ? line.substr(20) + "\n" : "");
    EXPECT_EQ(rig.files.contents["pages.log"], log);
    EXPECT_EQ(rig.commands.calls.size(), c.shown.size());
    EXPECT_EQ(rig.sound.played.size(), c.shown.size());
    EXPECT_EQ(out.FoldedRepeats(), c.pages.size() - c.shown.size());
}

INSTANTIATE_TEST_SUITE_P(
    Repeats, Folding,
    ::testing::Values(
        FoldCase{"off", 0, {{0, "1234567", "FIRE A"}, {1, "1234567", "FIRE A"}}, {"1234567 FIRE A", "1234567 FIRE A"}},
        FoldCase{"within_the_window", 30, {{0, "1234567", "FIRE A"}, {10, "1234567", "FIRE A"}, {19, "1234567", "FIRE A"}},
                 {"1234567 FIRE A"}},
        FoldCase{"window_runs_from_the_page_shown", 30,
                 {{0, "1234567", "FIRE A"}, {20, "1234567", "FIRE A"}, {10, "1234567", "FIRE A"}},
                 {"1234567 FIRE A", "1234567 FIRE A"}},
        FoldCase{"other_text_or_capcode", 30,
                 {{0, "1234567", "FIRE A"}, {1, "1234567", "FIRE B"}, {1, "7654321", "FIRE A"}},
                 {"1234567 FIRE A", "1234567 FIRE B", "7654321 FIRE A"}},
        FoldCase{"wrapped_repeat", 30,
                 {{0, "1234567", "FIRE over two rows"}, {5, "1234567", "FIRE over two rows"}},
                 {"1234567 FIRE over two rows"}}),
    [](const ::testing::TestParamInfo<FoldCase>& param) { return std::string(param.param.name); });

// The memory is a ring: after more different pages than it holds, the
// first is no longer known and shows again.
TEST(Repeats, MemoryBoundedWhateverTheTraffic) {
    Settings settings;
    settings.RepeatWindow = 3600;
    testing::TestRig rig(settings);
    Output& out = rig.engine->output();
    rig.engine->Panes().CreatePanes(80);
    const auto page = [&out](const std::string& text) { testing::WritePage(out, FilterType::Pocsag, "1234567", 1, 2, text); };
    for (std::size_t i = 0; i <= RepeatFold::kRemembered; ++i) page("page " + std::to_string(i));
    page("page 0");
    page("page 2");
    EXPECT_EQ(rig.messageLines.size(), RepeatFold::kRemembered + 2);
    EXPECT_EQ(out.FoldedRepeats(), 1u);
}

// --- National characters --------------------------------------------------

TEST(Charsets, SevenCharactersBecomeLetters) {
    const std::pair<NationalCharset, const char*> cases[] = {
        {NationalCharset::Ascii, "[\\]{|}~@A"},
        {NationalCharset::German, "\xC4\xD6\xDC\xE4\xF6\xFC\xDF@A"},
        {NationalCharset::DanishNorwegian, "\xC6\xD8\xC5\xE6\xF8\xE5~@A"},
        {NationalCharset::SwedishFinnish, "\xC4\xD6\xC5\xE4\xF6\xE5\xFC@A"},
        {NationalCharset::French, "\xB0\xE7\xA7\xE9\xF9\xE8\xA8@A"},
        {NationalCharset::Italian, "\xB0\xE7\xE9\xE0\xF2\xE8\xEC@A"},
        {NationalCharset::Spanish, "\xA1\xD1\xBF\xB0\xF1\xE7~@A"},
    };
    for (const auto& [charset, expected] : cases) {
        std::string shown;
        for (const char c : std::string_view("[\\]{|}~@A")) shown += static_cast<char>(NationalLetter(charset, static_cast<std::uint8_t>(c)));
        EXPECT_EQ(shown, expected) << kNationalCharsetNames[static_cast<std::size_t>(charset)];
        EXPECT_EQ(ParseNationalCharset(kNationalCharsetNames[static_cast<std::size_t>(charset)]), charset);
    }
    EXPECT_EQ(ParseNationalCharset("norwegian"), NationalCharset::DanishNorwegian);
    EXPECT_EQ(ParseNationalCharset("4"), NationalCharset::French);
    EXPECT_EQ(ParseNationalCharset("Klingon"), std::nullopt);
}

// Filter texts are kept as typed: UTF-8 sequences read as one character,
// any other byte as itself; what no cell can hold never matches.
TEST(Charsets, TypedTextAgainstCells) {
    const std::string line = "[1] Gr\xFC\xDF" "e an M\xDCLLER";  // Latin-1 cells
    const std::tuple<const char*, int, int> cases[] = {
        {"gr\xFC\xDF" "e", 4, 5},  // Latin-1 bytes from an older file; a-z fold
        {"m\xC3\x9Cller", 13, 6},  // UTF-8, and only a-z fold: Ü is typed as it is shown
        {"m\xC3\xBCller", -1, 0},  // ü is not Ü
        {"\xE2\x82\xAC", -1, 0},   // the euro sign has no cell
        {"\xC3", -1, 0},           // a cut sequence is the byte 0xC3
    };
    for (const auto& [text, at, cells] : cases) {
        int matched = 0;
        EXPECT_EQ(FindFilterText(line, 4, text, &matched), at) << text;
        EXPECT_EQ(matched, cells) << text;
    }
}

// A German network, and one capcode whose filter reads Danish: the panes
// hold the letters, log and filter file carry them in UTF-8, the records as
// Unicode, and a filter text typed with the letters matches.
TEST(Charsets, LettersEndToEnd) {
    Settings settings = Logged(testing::Untimed());
    settings.Charset = static_cast<std::int32_t>(NationalCharset::German);
    FilterRecord danish{FilterType::Pocsag, "0000222", 0, "N\xC3\xB8" "d", "", 0, 0, 0};
    danish.charset = 1 + static_cast<std::int32_t>(NationalCharset::DanishNorwegian);
    settings.Filters = {danish, FilterRecord{FilterType::Text, "", 0, "Gru\xC3\x9F", "gr\xC3\xBC\xC3\x9F" "e", 0, 0, 0}};
    testing::TestRig rig(settings);
    testing::FakeRecords records;
    rig.engine->SetRecordSink(&records, "rx");
    rig.Feed(testing::ToEdges(testing::Encode({"pocsag:1200:111:3:alpha:Gr}~e", "pocsag:1200:222:3:alpha:K{re Gr}~e"})));
    EXPECT_EQ(rig.messageLines, (Lines{"{0000111} 4 1200 Gr\xFC\xDF" "e", "{0000222} 4 1200 K\xE6re Gr\xE5~e "}));
    EXPECT_EQ(rig.filterLines,
              (Lines{"{0000111} 4 1200 Gru\xDF Gr\xFC\xDF" "e", "{0000222} 4 1200 N\xF8" "d K\xE6re Gr\xE5~e "}));
    EXPECT_EQ(rig.files.contents["pages.log"],
              "{0000111} 4 1200 Gr\xC3\xBC\xC3\x9F" "e\n{0000222} 4 1200 K\xC3\xA6re Gr\xC3\xA5~e \n");
    EXPECT_EQ(rig.files.contents["pages.flt"],
              "{0000111} 4 1200 Gru\xC3\x9F Gr\xC3\xBC\xC3\x9F" "e\n{0000222} 4 1200 N\xC3\xB8" "d K\xC3\xA6re Gr\xC3\xA5~e \n");
    ASSERT_EQ(records.pages.size(), 2u);
    EXPECT_NE(records.pages[0].find(R"("message":"Gr\u00fc\u00dfe")"), std::string::npos) << records.pages[0];
    EXPECT_NE(records.pages[0].find(R"("filter":"Gru\u00df")"), std::string::npos) << records.pages[0];
    EXPECT_NE(records.pages[1].find(R"("message":"K\u00e6re Gr\u00e5~e ")"), std::string::npos) << records.pages[1];
}

// --- Settings -------------------------------------------------------------

// The three keys and a filter's own charset are written only when they are
// not the defaults (the golden files keep older files as they were), and
// read back; values out of range read as the default.
TEST(PageReadingSettings, SavedWhenChangedAndReadBack) {
    const testing::TempDir dir;
    const std::string path = dir / "t.ini";
    Settings changed;
    changed.JoinFragments = 0, changed.RepeatWindow = 45;
    changed.Charset = static_cast<std::int32_t>(NationalCharset::SwedishFinnish);
    FilterRecord own{FilterType::ShortFlex, "1400???", 0, "P2000", "", 0, 0, 0};
    own.charset = 1 + static_cast<std::int32_t>(NationalCharset::German);
    // Texts full of letters typed in UTF-8: as many characters as any.
    std::string umlauts;
    for (std::size_t i = 0; i < kFilterTextMax; ++i) umlauts += "\xC3\xBC";
    changed.Filters = {own, FilterRecord{FilterType::Text, "", 0, "", "FIRE", 0, 0, 0},
                       FilterRecord{FilterType::Text, "", 0, umlauts.substr(0, 2 * kFilterLabelMax), umlauts, 0, 0, 0}};
    ASSERT_TRUE(SaveSettings(kAppName, path, changed));
    const std::string file = testing::ReadFile(path);
    for (const char* line : {"\nJoinFragments=0\n", "\nRepeatWindow=45\n", "\nCharset=3\n",
                             "\nFilter1=3,\"1400???\",0,\"P2000\",\"\",0,0,0,2\n", "\nFilter2=1,\"\",0,\"\",\"FIRE\",0,0,0\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line;
    Settings loaded;
    LoadSettings(kAppName, path, loaded);
    EXPECT_EQ(loaded, changed);

    // Numbers out of range are not taken: the defaults stay.
    std::ofstream(path) << "[Tolvane]\nJoinFragments=2\nRepeatWindow=-5\nCharset=9\n[Filter]\nFilterCount=1\n"
                           "Filter1=3,\"1\",0,\"\",\"\",0,0,0,9\n";
    Settings odd;
    LoadSettings(kAppName, path, odd);
    EXPECT_EQ(std::tuple(odd.JoinFragments, odd.RepeatWindow, odd.Charset, odd.Filters.at(0).charset),
              std::tuple(1, 0, 0, 0));

    // One letter too many is cut whole.
    EXPECT_EQ(ParseFilterValue("1,\"\",0,\"\",\"" + umlauts + "\xC3\xBC\",0,0,0").text, umlauts);
}

}  // namespace
}  // namespace tolvane
