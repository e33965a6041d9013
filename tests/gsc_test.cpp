#include "decoders/gsc/gsc_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoders/gsc/golay.h"
#include "support/fake_world.h"
#include "tools/gen/gsc_encoder.h"

namespace tolvane {
namespace {

using gen::GscPage;
using gen::GscSampleWriter;
using gen::PageKind;
using testing::TestRig;

constexpr const char* kGolayTitle = " Tolvane - Golay (GSC)";

// Offsets inside a start code or address block.
constexpr std::size_t kW1Pair = 28;  // + 2j: the unread half of W1 bit j
constexpr std::size_t kW2Pair = 75;  // + 2j: the unread half of W2 bit j

Settings Plain() {
    Settings settings;
    settings.Timestamp = 0;
    return settings;
}

void FeedDirect(TestRig& rig, const std::vector<std::uint8_t>& samples) {
    for (const std::uint8_t s : samples) rig.engine->Gsc().GolayInputBit(static_cast<std::int8_t>(s));
}

void FeedThroughReceiver(TestRig& rig, const std::vector<std::uint8_t>& samples, const gen::ChannelOptions& channel = {}) {
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, 0.2);
    gen::AppendGscSamples(samples, stream);
    gen::AppendSilence(stream, 0, 0.5);
    rig.Feed(gen::SymbolsToEdges(stream, channel));
}

std::vector<std::uint8_t> Build(const std::vector<GscPage>& pages, bool complemented = false) {
    gen::GscTransmitOptions options;
    options.complementedPreamble = complemented;
    std::vector<std::uint8_t> samples;
    std::string error;
    EXPECT_TRUE(gen::BuildGscSamples(pages, options, samples, error)) << error;
    return samples;
}

std::uint64_t NumericData(std::string_view digits, bool more = false) {
    std::uint64_t data = 0;
    EXPECT_TRUE(gen::GscNumericBlock(digits, more, data));
    return data;
}

// --- Capcode computation -------------------------------------------------

TEST(GscCapcode, WorkedExamplesAndFunctions) {
    struct Case {
        int addressCode;
        std::uint32_t x;
        int preambleIndex;
        std::int32_t capcode;
        std::int32_t function;
    };
    const Case cases[] = {
        {7, 1234, 5, 203634, 3},  // first word complemented
        {7, 3000, 5, 253545, 4},  // bit 11 of x: B = 6000 ^ 0x1FFE, q odd adds 100 to the address code
        {6, 1234, 5, 203634, 1},  // both plain
        {6, 3000, 5, 253545, 2},  // only the second complemented
        {0, 0, 0, 0, 1},
        {0, 0, 3, 300000, 1},     // P = preamble index - last digit of D
        {98, 2047, 9, 50047, 1},  // B = 4094: q = 40, so E = 10 carries into D (49 -> 50)
    };
    for (const Case& c : cases) {
        const GscAddress a = GscCapcodeOf(c.addressCode, GolayEncode(c.x), c.preambleIndex);
        EXPECT_EQ(a.capcode, c.capcode) << c.addressCode << "/" << c.x;
        EXPECT_EQ(a.function, c.function) << c.addressCode << "/" << c.x;
    }
}

// --- Data block readings ---------------------------------------------------

TEST(GscDataBlock, ReadingsOfExtremeAndEndingBlocks) {
    struct Case {
        const char* what;
        std::uint64_t data;
        const char* digits;
        const char* chars;
        bool more;
    };
    const std::uint64_t ones = (std::uint64_t{1} << 56) - 1;
    // "AB" then value 63, then "CD" that must not show.
    const std::uint64_t ended = 33u | (34u << 6) | (63u << 12) | (35ull << 18) | (36ull << 24);
    const Case cases[] = {
        {"zeros", 0, "000000000000", "        ", false},
        {"ones", ones, "((((((((((((", "", true},
        {"end of text in third place", ended, nullptr, "AB", false},
        {"flag only", std::uint64_t{1} << 48, "000000000000", "        ", true},
    };
    for (const Case& c : cases) {
        GscSampleWriter writer;
        writer.AppendDataBlock(c.data);
        GscBitHistory history;
        for (const std::uint8_t s : writer.samples) history.Push(s);
        const std::uint64_t data = DeinterleaveBlock(history);
        EXPECT_EQ(data, c.data) << c.what;
        char digits[12];
        char chars[8];
        DecodeNumericBlock(data, digits);
        if (c.digits != nullptr) {
            EXPECT_EQ(std::string(digits, 12), c.digits) << c.what;
        }
        EXPECT_EQ(std::string(chars, static_cast<std::size_t>(DecodeAlphaBlock(data, chars))), c.chars) << c.what;
        EXPECT_EQ(ContinuationFlag(data), c.more) << c.what;
    }
}

// --- Synchronisation, sample by sample ------------------------------------

TEST(GscSync, LocksAfterThirdPreambleAndExaminesBlock121SamplesLater) {
    TestRig rig(Plain());
    GscSampleWriter w;
    w.AppendDotting();
    for (int i = 0; i < 3; ++i) w.AppendPreamble(4, false);
    w.AppendStartCode();
    FeedDirect(rig, w.samples);
    const GscState& s = rig.engine->Gsc().State();
    EXPECT_TRUE(s.GscActive);
    EXPECT_TRUE(rig.engine->Chain().GolayLock);
    EXPECT_EQ(s.PreambleCount, 3);
    EXPECT_EQ(s.PreambleIndex, 4);
    EXPECT_EQ(s.BlocksLeft, 1);
    EXPECT_EQ(rig.title.Current(), kGolayTitle);

    // A capcode of preamble index 4: an address whose block ends at
    // sample 121 after the lock.
    const gen::GscAddressPlan plan = gen::GscPlanAddress(420456, 1);
    ASSERT_EQ(plan.preambleIndex, 4);
    GscSampleWriter address;
    address.AppendAddress(plan);
    ASSERT_EQ(address.samples.size(), 121u);
    FeedDirect(rig, std::vector<std::uint8_t>(address.samples.begin(), address.samples.end() - 1));
    EXPECT_FALSE(s.PagePending);
    FeedDirect(rig, {address.samples.back()});
    EXPECT_TRUE(s.PagePending);
    EXPECT_EQ(s.GscCapcode, 420456);
    EXPECT_EQ(s.BlocksLeft, 1);  // plain preamble: the address adds one
}

TEST(GscSync, PreambleCountAndTolerances) {
    struct Case {
        const char* what;
        int preambles;
        bool complemented;
        std::vector<std::size_t> preambleFlips;  // flipped samples in every preamble word
        int startSplits;                         // split pairs in the start code
        bool startBitError;                      // one wrong bit in W1 of the start code
        int expectedCount;
        bool locks;
    };
    const Case cases[] = {
        {"two detections do not lock", 2, false, {}, 0, false, 2, false},
        {"three detections lock", 3, false, {}, 0, false, 3, true},
        {"start code with 2 splits and a bit error", 3, false, {}, 2, true, 3, true},
        {"start code with 3 splits", 3, false, {}, 3, false, 3, true},
        {"start code with 4 splits", 3, false, {}, 4, false, 3, false},
        {"plain preamble with 3 half-bit errors", 3, false, {0, 17, 45}, 0, false, 3, true},
        {"plain preamble with 4 half-bit errors", 3, false, {0, 17, 30, 45}, 0, false, 0, false},
        {"complement with 1 half-bit error", 3, true, {20}, 0, false, 3, true},
        {"complement with 2 half-bit errors", 3, true, {20, 21}, 0, false, 0, false},
    };
    for (const Case& c : cases) {
        TestRig rig(Plain());
        GscSampleWriter w;
        w.AppendDotting();
        for (int i = 0; i < c.preambles; ++i) {
            const std::size_t at = w.samples.size();
            w.AppendPreamble(7, c.complemented);
            for (const std::size_t f : c.preambleFlips) w.samples[at + f] ^= 1;
        }
        const std::size_t start = w.samples.size();
        w.AppendStartCode();
        // Splits alternate between the words; each leaves the read half intact.
        for (int i = 0; i < c.startSplits; ++i)
            w.samples[start + (i % 2 ? kW2Pair : kW1Pair) + 2 * static_cast<std::size_t>(5 * i)] ^= 1;
        if (c.startBitError) {
            w.samples[start + kW1Pair + 2 * 9] ^= 1;
            w.samples[start + kW1Pair + 2 * 9 + 1] ^= 1;
        }
        FeedDirect(rig, w.samples);
        const GscState& s = rig.engine->Gsc().State();
        EXPECT_EQ(s.PreambleCount, c.expectedCount) << c.what;
        EXPECT_EQ(s.GscActive, c.locks) << c.what;
        if (c.locks) {
            EXPECT_EQ(s.PreambleComplemented, c.complemented) << c.what;
            EXPECT_EQ(s.BlocksLeft, c.complemented ? 16 : 1) << c.what;
        }
    }
}

TEST(GscSync, SearchGivesUpAfter949SamplesWithoutPreamble) {
    TestRig rig(Plain());
    rig.engine->Chain().golayAccumulator = 123.0;
    rig.engine->Chain().GolayPhase = 45.0;
    const GscState& s = rig.engine->Gsc().State();
    GscSampleWriter w;
    w.AppendPreamble(2, false);
    w.AppendLevel(0, 500);
    w.AppendPreamble(2, false);  // 45 samples without a detection, then one
    w.AppendLevel(0, 403);
    FeedDirect(rig, w.samples);
    EXPECT_EQ(s.PreambleCount, 2);  // 500 + 45 + 403 = 948 samples counted
    EXPECT_EQ(s.GscCountdown, 1);
    FeedDirect(rig, {0});
    EXPECT_EQ(s.PreambleCount, 0);
    EXPECT_EQ(s.GscCountdown, 0);
    EXPECT_FALSE(s.GscActive);
    EXPECT_EQ(rig.title.Current(), " Tolvane");
    EXPECT_EQ(rig.engine->Chain().golayAccumulator, 0.0);
    EXPECT_EQ(rig.engine->Chain().GolayPhase, 0.0);

    // A start code now finds the search reset.
    GscSampleWriter late;
    late.AppendStartCode();
    FeedDirect(rig, late.samples);
    EXPECT_FALSE(s.GscActive);
}

// --- Page ending rules -----------------------------------------------------

TEST(GscPages, BudgetUnlockOutputsLastPage) {
    // Complemented preamble: 16 blocks. Sixteen tone-only addresses: each
    // address writes the one before, the unlock writes the sixteenth.
    TestRig rig(Plain());
    GscSampleWriter w;
    for (int i = 0; i < 3; ++i) w.AppendPreamble(0, true);
    w.AppendStartCode();
    for (int i = 0; i < 16; ++i) w.AppendAddress(gen::GscPlanAddress(100 + i, 1 + i % 4));  // D = 0: index 0
    FeedDirect(rig, w.samples);
    ASSERT_EQ(rig.messageLines.size(), 16u);
    EXPECT_EQ(rig.messageLines.front(), "(000100) 1  ");
    EXPECT_EQ(rig.messageLines.back(), "(000115) 4  ");
    EXPECT_FALSE(rig.engine->Gsc().State().GscActive);
    EXPECT_FALSE(rig.engine->Chain().GolayLock);
    EXPECT_EQ(rig.engine->Stats().DailyStats.numericMsgs[GOLAY], 16u);
    EXPECT_EQ(rig.engine->Stats().DailyStats.numericChars[GOLAY], 0u);
}

TEST(GscPages, TwelfthDataBlockEndsThePageAndLaterBlocksAddNothing) {
    TestRig rig(Plain());
    GscSampleWriter w;
    for (int i = 0; i < 3; ++i) w.AppendPreamble(0, true);
    w.AppendStartCode();
    w.AppendAddress(gen::GscPlanAddress(100, 1));
    for (int i = 0; i < 11; ++i) w.AppendDataBlock(NumericData(std::to_string(i % 10), true));
    FeedDirect(rig, w.samples);
    const GscState& s = rig.engine->Gsc().State();
    EXPECT_TRUE(rig.messageLines.empty());
    EXPECT_EQ(s.DataBlockCount, 11);
    EXPECT_EQ(s.GscNumericText.view(), "0           1           ");  // two blocks only
    const std::size_t alphaLength = s.GscAlphaText.size();

    for (int i = 0; i < 2; ++i) {
        GscSampleWriter more;
        more.AppendDataBlock(NumericData("999999999999", true));
        FeedDirect(rig, more.samples);
        ASSERT_EQ(rig.messageLines.size(), 1u) << i;
        EXPECT_EQ(s.DataBlockCount, 11);
        EXPECT_EQ(s.GscAlphaText.size(), alphaLength);
    }
    // Eleven blocks of eight characters are more than 24: shown as text alone.
    // Digit d then spaces (value 10) reads as character 32 + d, then "J"s.
    EXPECT_EQ(rig.messageLines[0], "(000100) 1  JJJJJJJAJJJJJJJBJJJJJJJCJJJJJJJDJJJJJJJEJJJJJJJFJJJJJJJGJJJJJJJHJJJJJJJIJJJJJJJ");
}

// --- End to end through the receiver ---------------------------------------

struct EndToEnd {
    const char* what;
    bool complemented;
    std::vector<GscPage> pages;
    std::vector<std::string> lines;
};

class GscEndToEnd : public ::testing::TestWithParam<EndToEnd> {};

TEST_P(GscEndToEnd, PagesDecodeAsSent) {
    const EndToEnd& c = GetParam();
    TestRig rig(Plain());
    FeedThroughReceiver(rig, Build(c.pages, c.complemented));
    EXPECT_EQ(rig.messageLines, c.lines);
    EXPECT_NE(std::find(rig.title.titles.begin(), rig.title.titles.end(), kGolayTitle), rig.title.titles.end());
    EXPECT_EQ(rig.title.Current(), " Tolvane");
}

const EndToEnd kEndToEnd[] = {
    {"numeric_one_block", false, {{203634, 3, PageKind::Numeric, "123456789012"}},
     {"(203634) 3 123456789012 A,49'F0("}},
    {"numeric_two_blocks", false, {{253545, 4, PageKind::Numeric, "987654321098555 0199"}},
     {"(253545) 4 987654321098555 0199     )>61C$0B55*$9JJJ"}},
    {"alpha_several_blocks", true, {{555555, 2, PageKind::Alpha, "The quick brown fox jumps over 13 dogs."}},
     {"(555555) 2 THE QUICK BROWN FOX JUMPS OVER 13 DOGS."}},
    {"alpha_at_24_shown_with_digits", true, {{555555, 1, PageKind::Alpha, "ABCDEFGHIJKLMNOPQRSTUVWX"}},
     {"(555555) 1 1 83295 972 9  U2U- U(2  ABCDEFGHIJKLMNOPQRSTUVWX"}},
    {"tone_then_address", false,
     {{123456, 1, PageKind::Tone, ""}, {123457, 2, PageKind::Numeric, "76543210-U()"}},
     {"(123456) 1  ", "(123457) 2 76543210-U() G5T(!T[["}},
    {"four_functions", true,
     {{123456, 1, PageKind::Numeric, "1"}, {163005, 2, PageKind::Alpha, "SECOND PAGE OF FOUR, CALL 5551234"},
      {103400, 3, PageKind::Tone, ""}, {193499, 4, PageKind::Numeric, "123456789012"}},
     {"(123456) 1 1            AJJJJJJJ", "(163005) 2 SECOND PAGE OF FOUR, CALL 5551234", "(103400) 3  ",
      "(193499) 4 123456789012 A,49'F0("}},
    {"two_preamble_indices", false,
     {{203634, 3, PageKind::Numeric, "123456789012"}, {999999, 1, PageKind::Numeric, "123456789012"}},
     {"(203634) 3 123456789012 A,49'F0(", "(999999) 1 123456789012 A,49'F0("}},
};

std::string EndToEndName(const ::testing::TestParamInfo<EndToEnd>& info) { return info.param.what; }

INSTANTIATE_TEST_SUITE_P(Transmissions, GscEndToEnd, ::testing::ValuesIn(kEndToEnd), EndToEndName);

// Half-bit errors within every tolerance, through the clocks with jitter and
// a slightly fast transmitter.
TEST(GscReceiver, HalfBitErrorsWithinToleranceStillDecode) {
    const gen::GscAddressPlan plan = gen::GscPlanAddress(203634, 3);
    GscSampleWriter w;
    w.AppendDotting();
    for (int i = 0; i < 5; ++i) {
        const std::size_t at = w.samples.size();
        w.AppendPreamble(plan.preambleIndex, false);
        for (const std::size_t f : {3u, 20u, 41u}) w.samples[at + f] ^= 1;  // three per word
    }
    const std::size_t start = w.samples.size();
    w.AppendStartCode();
    for (const std::size_t f : {kW1Pair + 4, kW2Pair + 30, kW1Pair + 16, kW1Pair + 17}) w.samples[start + f] ^= 1;
    const std::size_t address = w.samples.size();
    w.AppendAddress(plan);
    // W1: one split and one wrong bit; W2: two wrong bits and two splits.
    for (const std::size_t f : {kW1Pair + 10, kW1Pair + 30, kW1Pair + 31, kW2Pair + 0, kW2Pair + 1, kW2Pair + 8,
                                kW2Pair + 9, kW2Pair + 20, kW2Pair + 40})
        w.samples[address + f] ^= 1;
    std::uint64_t data = 0;
    ASSERT_TRUE(gen::GscNumericBlock("123456789012", false, data));
    w.AppendDataBlock(data);
    w.AppendLevel(0, 200);

    gen::ChannelOptions channel;
    channel.jitter = 0.08;
    channel.rateError = 0.001;
    channel.seed = 5;
    TestRig rig(Plain());
    FeedThroughReceiver(rig, w.samples, channel);
    ASSERT_EQ(rig.messageLines, std::vector<std::string>{"(203634) 3 123456789012 A,49'F0("});
    EXPECT_EQ(rig.engine->Stats().HourlyStats.numericMsgs[GOLAY], 1u);
    EXPECT_EQ(rig.engine->Stats().DailyStats.numericMsgs[GOLAY], 1u);
    EXPECT_EQ(rig.engine->Stats().HourlyStats.numericChars[GOLAY], 12u);
    EXPECT_EQ(rig.engine->Stats().DailyStats.numericChars[GOLAY], 12u);
    EXPECT_EQ(rig.engine->Stats().DailyStats.alphaMsgs[GOLAY], 0u);
}

TEST(GscReceiver, TimestampJoinsTheCapcodeFieldAndFiltersStillMatch) {
    Settings settings;
    settings.Timestamp = 1;
    FilterRecord filter;
    filter.type = FilterType::Golay;
    filter.capcode = "5555??";
    filter.function = 2;
    filter.label = "GSC";
    settings.Filters.push_back(filter);
    TestRig rig(settings);
    rig.clock.timeText = "09:41:07";
    FeedThroughReceiver(rig, Build({{555555, 2, PageKind::Alpha, "The quick brown fox jumps over 13 dogs."},
                                    {555566, 1, PageKind::Alpha, "Function one is filtered out by the filter."}},
                                   true));
    ASSERT_EQ(rig.messageLines.size(), 2u);
    EXPECT_EQ(rig.messageLines[0], "(555555) 2 09:41:07 THE QUICK BROWN FOX JUMPS OVER 13 DOGS.");
    EXPECT_EQ(rig.filterLines, std::vector<std::string>{"(555555) 2 09:41:07 GSC THE QUICK BROWN FOX JUMPS OVER 13 DOGS."});
    EXPECT_EQ(rig.engine->Stats().DailyStats.alphaMsgs[GOLAY], 2u);
    EXPECT_EQ(rig.engine->Stats().DailyStats.alphaChars[GOLAY], 39u + 43u);
}

}  // namespace
}  // namespace tolvane
