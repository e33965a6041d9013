// The GSC decoder: capcodes and data blocks, synchronisation sample by
// sample, and end to end from the generator through the receiver.
#include "decoders/gsc/gsc_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoders/gsc/golay.h"
#include "support/loopback.h"
#include "tools/gen/gsc_encoder.h"

namespace tolvane {
namespace {

using gen::GscSampleWriter;
using testing::TestRig;

// Offsets inside a start code or address block.
constexpr std::size_t kW1Pair = 28;  // + 2j: the unread half of W1 bit j
constexpr std::size_t kW2Pair = 75;  // + 2j: the unread half of W2 bit j

void FeedDirect(TestRig& rig, const std::vector<std::uint8_t>& samples) {
    for (const std::uint8_t s : samples) rig.engine->Gsc().GolayInputBit(static_cast<std::int8_t>(s));
}

std::uint64_t NumericData(std::string_view digits, bool more = false) {
    std::uint64_t data = 0;
    EXPECT_TRUE(gen::GscNumericBlock(digits, more, data));
    return data;
}

// Damage to the preambles, the start code and the address within and just
// past each tolerance, through the receiver's clock with jitter and a
// slightly fast transmitter: the page comes through or nothing does.
TEST(GscSync, TolerancesDecideWhetherThePageComesThrough) {
    struct Case {
        const char* what;
        int preambles;
        bool complemented;
        std::vector<std::size_t> preambleFlips;  // flipped samples in every preamble word
        std::vector<std::size_t> startFlips;     // in the start code
        bool arrives;
    };
    // A split flips one half of a bit pair (the read half stays); a wrong
    // bit flips both halves.
    const std::vector<std::size_t> twoSplitsAndABitError = {kW1Pair + 4, kW2Pair + 30, kW1Pair + 16, kW1Pair + 17};
    const Case cases[] = {
        {"two detections do not lock", 2, false, {}, {}, false},
        {"three detections lock", 3, false, {}, {}, true},
        {"start code with 2 splits and a bit error", 3, false, {}, twoSplitsAndABitError, true},
        {"start code with 3 splits", 3, false, {}, {kW1Pair, kW2Pair + 10, kW1Pair + 20}, true},
        {"start code with 4 splits", 3, false, {}, {kW1Pair, kW2Pair + 10, kW1Pair + 20, kW2Pair + 30}, false},
        {"plain preamble with 3 half-bit errors", 5, false, {3, 20, 41}, twoSplitsAndABitError, true},
        {"plain preamble with 4 half-bit errors", 5, false, {0, 17, 30, 45}, {}, false},
        {"complement with 1 half-bit error", 3, true, {20}, {}, true},
        {"complement with 2 half-bit errors", 3, true, {20, 21}, {}, false},
    };
    const gen::GscAddressPlan plan = gen::GscPlanAddress(203634, 3);
    for (const Case& c : cases) {
        GscSampleWriter w;
        w.AppendDotting();
        for (int i = 0; i < c.preambles; ++i) {
            const std::size_t at = w.samples.size();
            w.AppendPreamble(plan.preambleIndex, c.complemented);
            for (const std::size_t f : c.preambleFlips) w.samples[at + f] ^= 1;
        }
        const std::size_t start = w.samples.size();
        w.AppendStartCode();
        for (const std::size_t f : c.startFlips) w.samples[start + f] ^= 1;
        const std::size_t address = w.samples.size();
        w.AppendAddress(plan);
        // W1: one split and one wrong bit; W2: two wrong bits and two splits.
        for (const std::size_t f : {kW1Pair + 10, kW1Pair + 30, kW1Pair + 31, kW2Pair + 0, kW2Pair + 1, kW2Pair + 8,
                                    kW2Pair + 9, kW2Pair + 20, kW2Pair + 40})
            w.samples[address + f] ^= 1;
        w.AppendDataBlock(NumericData("123456789012"));
        w.AppendLevel(0, 200);

        gen::SymbolStream stream;
        gen::AppendGscSamples(w.samples, stream);
        const auto rig = testing::Receive(testing::ToEdges(stream, {0.001, 0.08, false, 2, 5}));
        EXPECT_EQ(rig->messageLines, c.arrives ? std::vector<std::string>{"(203634) 3 123456789012 A,49'F0("}
                                               : std::vector<std::string>{})
            << c.what;
        StatCounters expected;
        expected.numericMsgs[GOLAY] = c.arrives ? 1 : 0;
        expected.numericChars[GOLAY] = c.arrives ? 12 : 0;
        EXPECT_EQ(rig->engine->Stats().HourlyStats, expected) << c.what;
    }
}

TEST(GscSync, SearchGivesUpAfter949SamplesWithoutPreamble) {
    TestRig rig(testing::Untimed());
    const ClockState& clocks = rig.engine->Recovery().Clocks();
    rig.Feed({{500, kLineDCD}, {100, 0}}, false);  // a level change moves the Golay clock, short of a sample
    ASSERT_TRUE(clocks.golayAccumulator != 0 && clocks.GolayPhase != 0);
    const GscState& s = rig.engine->Gsc().State();
    GscSampleWriter w;
    w.AppendPreamble(2, false);
    w.AppendLevel(0, 500);
    w.AppendPreamble(2, false);  // 45 samples without a detection, then one
    w.AppendLevel(0, 403);
    FeedDirect(rig, w.samples);
    EXPECT_EQ(s.PreambleCount, 2);  // 500 + 45 + 403 = 948 samples counted
    FeedDirect(rig, {0});
    EXPECT_EQ(s.PreambleCount, 0);
    EXPECT_EQ(rig.title.Current(), " Tolvane");
    EXPECT_EQ(std::tuple(clocks.golayAccumulator, clocks.GolayPhase), std::tuple(0.0, 0.0));
}

TEST(GscPages, BudgetUnlockOutputsLastPage) {
    // Complemented preamble: 16 blocks. Sixteen tone-only addresses: each
    // address writes the one before, the unlock writes the sixteenth.
    TestRig rig(testing::Untimed());
    GscSampleWriter w;
    for (int i = 0; i < 3; ++i) w.AppendPreamble(0, true);
    w.AppendStartCode();
    for (int i = 0; i < 16; ++i) w.AppendAddress(gen::GscPlanAddress(100 + i, 1 + i % 4));  // D = 0: index 0
    FeedDirect(rig, w.samples);
    ASSERT_EQ(rig.messageLines.size(), 16u);
    EXPECT_EQ(rig.messageLines.front(), "(000100) 1  ");
    EXPECT_EQ(rig.messageLines.back(), "(000115) 4  ");
    EXPECT_FALSE(rig.engine->Recovery().Clocks().GolayLock);
    EXPECT_EQ(rig.engine->Stats().DailyStats.numericMsgs[GOLAY], 16u);
    EXPECT_EQ(rig.engine->Stats().DailyStats.numericChars[GOLAY], 0u);
}

TEST(GscPages, TwelfthDataBlockEndsThePageAndLaterBlocksAddNothing) {
    TestRig rig(testing::Untimed());
    GscSampleWriter w;
    for (int i = 0; i < 3; ++i) w.AppendPreamble(0, true);
    w.AppendStartCode();
    w.AppendAddress(gen::GscPlanAddress(100, 1));
    // The second block: "AB", an end of text (the generator never sends one), "CD".
    const std::uint64_t ended =
        33u | (34u << 6) | (63u << 12) | (35ull << 18) | (36ull << 24) | std::uint64_t{1} << kGscContinuationBit;
    for (int i = 0; i < 11; ++i) w.AppendDataBlock(i == 1 ? ended : NumericData(std::to_string(i % 10), true));
    FeedDirect(rig, w.samples);
    const GscState& s = rig.engine->Gsc().State();
    EXPECT_TRUE(rig.messageLines.empty());
    EXPECT_EQ(s.GscNumericText.view(), "0           1 8((8420000");  // two blocks only
    for (int i = 0; i < 2; ++i) {
        GscSampleWriter more;
        more.AppendDataBlock(NumericData("999999999999", true));
        FeedDirect(rig, more.samples);
        EXPECT_EQ(s.DataBlockCount, 11);
    }
    // Eleven blocks of eight characters are more than 24: shown as text alone.
    // Digit d then spaces (value 10) reads as character 32 + d, then "J"s.
    EXPECT_EQ(rig.messageLines, std::vector<std::string>{
        "(000100) 1  JJJJJJJABBJJJJJJJCJJJJJJJDJJJJJJJEJJJJJJJFJJJJJJJGJJJJJJJHJJJJJJJIJJJJJJJ"});
}

struct EndToEnd {
    const char* what;
    std::vector<std::string> pages;
    std::vector<std::string> lines;
    int bitErrors = 0;
    void (*tweak)(Settings&) = nullptr;
    std::vector<std::string> filterLines = {};
};

std::string EndToEndName(const ::testing::TestParamInfo<EndToEnd>& info) { return info.param.what; }

class GscEndToEnd : public ::testing::TestWithParam<EndToEnd> {};

TEST_P(GscEndToEnd, PagesDecodeAsSent) {
    const EndToEnd& c = GetParam();
    gen::EncodeOptions options;
    options.bitErrors = c.bitErrors;
    Settings settings = testing::Untimed();
    if (c.tweak != nullptr) c.tweak(settings);
    const auto rig = testing::Receive(testing::ToEdges(testing::Encode(c.pages, options)), settings);
    EXPECT_EQ(rig->messageLines, c.lines);
    EXPECT_EQ(rig->filterLines, c.filterLines);
    EXPECT_EQ(rig->title.titles.at(0), " Tolvane - Golay (GSC)");
    EXPECT_EQ(rig->title.Current(), " Tolvane");
}

const std::string kAlphas = " !\"#$%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ[]";

// Twelve pages in one transmission: the generator refills the receiver's
// budget with start codes.
EndToEnd ManyPages(const char* what, const std::string& rate) {
    EndToEnd c{what, {}, {}};
    for (int i = 0; i < 12; ++i) {
        const std::string capcode = std::to_string(300000 + 1000 * (10 * i % 100) + i);  // index 3
        const std::string text = "PAGE " + std::to_string(i) + " OF TWELVE, SENT AS TEXT";
        c.pages.push_back("gsc:" + rate + ":" + capcode + ":" + std::to_string(i % 4) + ":alpha:" + text);
        c.lines.push_back("(" + capcode + ") " + std::to_string(1 + i % 4) + " " + text);
    }
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Transmissions, GscEndToEnd,
    ::testing::Values(
        EndToEnd{"numeric_two_blocks", {"gsc:600:253545:3:numeric:987654321098555 0199"},
                 {"(253545) 4 987654321098555 0199     )>61C$0B55*$9JJJ"}},
        EndToEnd{"every_character", {"gsc:600c:555555:1:alpha:Mixed Case" + kAlphas}, {"(555555) 2 MIXED CASE" + kAlphas}},
        EndToEnd{"alpha_at_24_shown_with_digits", {"gsc:600c:555555:0:alpha:ABCDEFGHIJKLMNOPQRSTUVWX"},
                 {"(555555) 1 1 83295 972 9  U2U- U(2  ABCDEFGHIJKLMNOPQRSTUVWX"}},
        EndToEnd{"tone_then_address", {"gsc:600:123456:0:tone:", "gsc:600:123457:1:numeric:76543210-U()"},
                 {"(123456) 1  ", "(123457) 2 76543210-U() G5T(!T[["}},
        EndToEnd{"four_functions",
                 {"gsc:600c:123456:0:numeric:1", "gsc:600c:163005:1:alpha:SECOND PAGE OF FOUR, CALL 5551234",
                  "gsc:600c:103400:2:tone:", "gsc:600c:193499:3:numeric:123456789012"},
                 {"(123456) 1 1            AJJJJJJJ", "(163005) 2 SECOND PAGE OF FOUR, CALL 5551234", "(103400) 3  ",
                  "(193499) 4 123456789012 A,49'F0("}},
        // The lowest capcode, the first digit from the preamble index alone,
        // and a carry into the address digits.
        EndToEnd{"capcode_edges", {"gsc:600:0:0:numeric:1", "gsc:600:300000:1:numeric:1", "gsc:600:50047:2:numeric:1"},
                 {"(000000) 1 1            AJJJJJJJ", "(300000) 2 1            AJJJJJJJ", "(050047) 3 1            AJJJJJJJ"}},
        EndToEnd{"two_preamble_indices", {"gsc:600:203634:2:numeric:123456789012", "gsc:600:999999:0:numeric:123456789012"},
                 {"(203634) 3 123456789012 A,49'F0(", "(999999) 1 123456789012 A,49'F0("}},
        // Three wrong bits in every Golay word are corrected.
        EndToEnd{"three_bit_errors_per_word", {"gsc:600:12:0:numeric:123456789012"}, {"(000012) 1 123456789012 A,49'F0("}, 3},
        // The time of day joins the capcode field; filters still match.
        EndToEnd{"time_stamp_and_filter",
                 {"gsc:600c:555555:1:alpha:The quick brown fox jumps over 13 dogs.",
                  "gsc:600c:555566:0:alpha:Function one is filtered out by the filter."},
                 {"(555555) 2 12:00:00 THE QUICK BROWN FOX JUMPS OVER 13 DOGS.",
                  "(555566) 1 12:00:00 FUNCTION ONE IS FILTERED OUT BY THE FILTER."},
                 0,
                 [](Settings& s) {
                     s.Timestamp = 1;
                     s.Filters.push_back(FilterRecord{FilterType::Golay, "5555??", 2, "GSC", "", 0, 0, 0});
                 },
                 {"(555555) 2 12:00:00 GSC THE QUICK BROWN FOX JUMPS OVER 13 DOGS."}},
        ManyPages("many_pages_plain", "600"), ManyPages("many_pages_complemented", "600c")),
    EndToEndName);

}  // namespace
}  // namespace tolvane
