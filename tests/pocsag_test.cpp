// The POCSAG decoder: fed codeword by codeword, and end to end from the
// generator through edges, symbol recovery and the message pane.
#include "decoders/pocsag/pocsag_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "support/fake_world.h"
#include "support/loopback.h"
#include "tools/gen/page_description.h"
#include "tools/gen/pocsag_encoder.h"

namespace tolvane {
namespace {

using gen::PageKind;

std::vector<std::uint32_t> Message(PageKind kind, const std::string& text) {
    std::vector<std::uint32_t> words;
    std::string error;
    EXPECT_TRUE(gen::PocsagMessageWords(kind, text, words, error)) << error;
    return words;
}

constexpr std::uint32_t kLost = 1;  // not a codeword: the signal is lost here

// Feeds a codeword straight into the decoder (no symbol recovery).
void Feed(PocsagDecoder& decoder, std::uint32_t word) {
    if (word == kLost) return decoder.PocsagInputBit('X');
    for (int i = 31; i >= 0; --i) decoder.PocsagInputBit((word >> i) & 1u ? '1' : '0');
}

// Codeword sequences after a sync: how much damage sync and idle words
// may carry, how a page ends, and what is shown and counted.
TEST(PocsagCodewords, SyncIdlePageEndsAndCounts) {
    const std::uint32_t sync = kPocsagSyncWord;
    const std::uint32_t idle = kPocsagIdleWord;
    const std::uint32_t to8 = gen::PocsagAddressWord(8, 0);
    const std::uint32_t next = gen::PocsagAddressWord(1000000, 0);
    const std::vector<std::uint32_t> shortText = Message(PageKind::Alpha, "Short one");
    const std::string longText = "A message long enough to be streamed";
    const std::vector<std::uint32_t> longWords = Message(PageKind::Alpha, longText);
    const std::vector<std::uint32_t> hey = Message(PageKind::Alpha, "Hey");
    const std::string tone = "{0000008} 1 1200 TONE ONLY";
    const auto join = [](std::initializer_list<std::vector<std::uint32_t>> parts) {
        std::vector<std::uint32_t> words;
        for (const auto& p : parts) words.insert(words.end(), p.begin(), p.end());
        return words;
    };
    struct Case {
        const char* what;
        std::vector<std::uint32_t> words;
        std::vector<std::string> lines;
        int showNumeric = 1;
        std::array<std::uint32_t, 4> counts = {};  // numeric messages and digits, alphanumeric messages and characters
        int hold = -1;  // the POCSAG hold afterwards; -1: not checked
    };
    // Text from an uncorrectable codeword, or changed by the toggle it leaves
    // behind, is marked even in a short message.
    const auto damaged = [](PageKind kind, const std::string& text) {
        std::vector<std::uint32_t> words = Message(kind, text);
        std::mt19937 rng(11);
        words[1] = gen::MakePocsagUncorrectable(words[1], rng);
        return words;
    };
    const Case cases[] = {
        {"sync with four wrong bits", {sync ^ 0xFu << 3, to8, idle}, {tone}, 1, {1, 0, 0, 0}},
        {"sync with five wrong bits", {sync ^ 0x1Fu << 3, to8, idle}, {}},
        // A damaged idle word after a page, then a good address.
        {"idle with two wrong bits", {sync, to8, idle ^ 3u << 20, gen::PocsagAddressWord(17, 0), idle},
         {tone, "{0000017} 1 1200 TONE ONLY"}, 1, {2, 0, 0, 0}},
        {"idle with three wrong bits: an uncorrectable address",
         {sync, to8, idle ^ 7u << 20, gen::PocsagAddressWord(17, 0), idle},
         {"{0000008} 1 1200 «TONE ONLY»", "{???????} ? 1200 TONE ONLY", "{0000017} 1 1200 TONE ONLY"}, 1, {3, 0, 0, 0}},
        // The damaged word may have been the message's next one.
        {"short text cut short by an uncorrectable word", join({{sync, to8}, shortText, {idle ^ 7u << 20, idle}}),
         {"{0000008} 1 1200 Short one « »", "{???????} ? 1200 TONE ONLY"}, 1, {1, 0, 1, 11}},
        {"tone only, then an address", {sync, to8, next}, {tone}, 2, {1, 0, 0, 0}},
        {"tone only, then the signal lost", {sync, to8, kLost}, {}},
        {"short text, then an address", join({{sync, to8}, shortText, {next}}), {"{0000008} 1 1200 Short one  "}, 1, {0, 0, 1, 11}},
        {"short text, then idle", join({{sync, to8}, shortText, {idle}}), {"{0000008} 1 1200 Short one  "}, 1, {0, 0, 1, 11}},
        {"short text, then the signal lost", join({{sync, to8}, shortText, {kLost}}), {}},
        {"streamed text, then an address", join({{sync, to8}, longWords, {next}}), {"{0000008} 1 1200 " + longText + " "}, 1, {0, 0, 1, 20}},
        {"streamed text, then the signal lost", join({{sync, to8}, longWords, {kLost}}), {"{0000008} 1 1200 " + longText + " "}, 1, {0, 0, 1, 20}},
        // 35 fives fill seven codewords: 1010... reads as "U*" pairs, which
        // scores no better than the digits; at seven words it is text anyway.
        {"seven message words are text without scoring",
         join({{sync, to8}, Message(PageKind::Numeric, std::string(35, '5')), {idle}}),
         {"{0000008} 1 1200 U*U*U*U*U*U*U*U*U*U*"}, 1, {0, 0, 1, 20}},
        // Good and idle codewords keep the receiver on POCSAG; two corrected
        // errors are too many to count as good.
        {"one corrected error refreshes the hold", {sync, to8 ^ 1u << 20}, {}, 1, {}, 170},
        {"a corrected parity bit refreshes the hold", {sync, to8 ^ 1u}, {}, 1, {}, 170},
        {"two corrected errors do not", {sync, to8 ^ 3u << 20}, {}, 1, {}, 0},
        {"idle with two wrong bits refreshes it", {sync, idle ^ 3u << 12}, {}, 1, {}, 170},
        // Numeric pages and tones are counted but not shown.
        {"numeric pages hidden",
         join({{sync, to8, Message(PageKind::Numeric, "12345")[0], gen::PocsagAddressWord(16, 1), idle,
                gen::PocsagAddressWord(32, 0)}, hey, {idle}}),
         {"{0000034} 1 1200 Hey  "}, 0, {2, 0, 1, 5}},
        // A U, ( or ) digit weighs 20 against digits; line feed and
        // end-of-block (23) count neither way, other controls against text.
        {"one U digit makes text of a letter and a control",
         join({{sync, to8}, Message(PageKind::Alpha, "O\n"), {idle}}), {"{0000008} 1 1200 O."}, 1, {0, 0, 1, 2}},
        {"end-of-block characters do not count against text",
         join({{sync, to8}, Message(PageKind::Alpha, "\x17\n\x17\x17\x17\x01"), {idle}}),
         {"{0000008} 1 1200 ......  "}, 1, {0, 0, 1, 8}},
        // Characters C to F complete in the damaged word; its toggle changes the
        // case of d, e, f and may reach G.
        {"uncorrectable text word", join({{sync, to8}, damaged(PageKind::Alpha, "ABCDEFGHIJKL"), {idle}}),
         {"{0000008} 1 1200 AB\u00abCdefG\u00bbHIJKL  "}, 1, {0, 0, 1, 14}},
        // Digits 5 to 9 are in the damaged word, 10 and 11 within its toggle's reach.
        {"uncorrectable digits word", join({{sync, to8}, damaged(PageKind::Numeric, "0123456789012345"), {idle}}),
         {"{0000008} 1 1200 01234\u00ab5*7*911\u00bb2345    "}, 1, {1, 20, 0, 0}},
    };
    for (const Case& c : cases) {
        Settings settings = testing::Untimed();
        settings.ShowNumeric = c.showNumeric;
        testing::MarkingRig fresh(settings);
        for (const std::uint32_t w : c.words) Feed(fresh.engine->Pocsag(), w);
        EXPECT_EQ(fresh.messageLines, c.lines) << c.what;
        const StatCounters& stats = fresh.engine->Stats().HourlyStats;
        EXPECT_EQ((std::array<std::uint32_t, 4>{stats.numericMsgs[P1200], stats.numericChars[P1200], stats.alphaMsgs[P1200],
                                                stats.alphaChars[P1200]}),
                  c.counts)
            << c.what;
        if (c.hold >= 0) {
            EXPECT_EQ(fresh.engine->Chain().PocsagHold, c.hold) << c.what;
        }
    }
}

// ---- End to end: generator -> edges -> symbol recovery -> decoder -> pane.

// Every kind of page, four function codes, capcodes in frames 0 and 7, a
// tone-only page closed by the next address and one closed by idle fill,
// a streamed message and messages running over batch boundaries.
struct Traffic {
    std::vector<std::string> pages;
    std::vector<std::string> lines;
    std::uint32_t alphaMsgs, numericMsgs;  // tone-only pages count as numeric
};

Traffic FullTraffic(const std::string& rate) {
    const std::string p = "pocsag:" + rate + ":";
    const std::string h = " " + rate + " ";
    const std::string longText = "A long message that must be streamed over batches.";
    return {{p + "1234567:3:alpha:Hello world", p + "1234560:0:numeric:0123456789", p + "8:1:tone:",
             p + "16:2:numeric:911", p + "2097151:2:tone:", p + "1000001:1:alpha:" + longText,
             p + "2000007:0:alpha:Across the batch"},
            {"{1234567} 4" + h + "Hello world", "{1234560} 1" + h + "0123456789", "{0000008} 2" + h + "TONE ONLY",
             "{0000016} 3" + h + "911  ", "{2097151} 3" + h + "TONE ONLY", "{1000001} 2" + h + longText + " ",
             "{2000007} 1" + h + "Across the batch "},
            3, 4};
}

// Short pages with idle codewords between them: codewords with two
// corrected errors do not keep the receiver locked on their own.
Traffic SparseTraffic(const std::string& rate) {
    const std::string p = "pocsag:" + rate + ":";
    const std::string h = " " + rate + " ";
    return {{p + "1000000:0:numeric:0123456789", p + "1000003:1:alpha:Hi there", p + "1000006:2:tone:",
             p + "1000008:3:numeric:112"},
            {"{1000000} 1" + h + "0123456789", "{1000003} 2" + h + "Hi there", "{1000006} 3" + h + "TONE ONLY",
             "{1000008} 4" + h + "112  "},
            1, 3};
}

struct Channel {
    const char* name;
    bool sparse;
    int bitErrors;
    bool infoOnly;
    double rateError;
    double jitter;
    bool invert;
    int levels;
    bool damagedWords = false;  // the first address and a streamed word beyond correction
};

const Channel kChannels[] = {
    {"Clean", false, 0, false, 0, 0, false, 2},
    {"OneBitErrorPerWord", false, 1, false, 0, 0, false, 2},
    {"TwoBitErrorsPerWord", true, 2, true, 0, 0, false, 2},
    {"Inverted", false, 0, false, 0, 0, true, 2},
    {"FourLevelLines", false, 0, false, 0, 0, false, 4},
    // A transmitter clock up to a per cent off: the clock's rate term must
    // follow it through runs of 17 equal bits (the low capcodes) without a
    // slip; a slip turns idle codewords into invented pages.
    {"ClockHalfPercentFast", false, 0, false, +0.005, 0.05, false, 2},
    {"ClockHalfPercentSlow", false, 0, false, -0.005, 0.05, false, 2},
    {"ClockOnePercentFast", false, 0, false, +0.01, 0.05, false, 2},
    {"ClockOnePercentSlow", false, 0, false, -0.01, 0.05, false, 2},
    {"UncorrectableWordsMarked", false, 0, false, 0, 0, false, 2, true},
};

void PrintTo(const Channel& channel, std::ostream* os) { *os << channel.name; }

using EndToEndParam = std::tuple<std::string, Channel>;

class PocsagEndToEnd : public ::testing::TestWithParam<EndToEndParam> {};

TEST_P(PocsagEndToEnd, EveryPageArrivesExactly) {
    const auto& [rate, channel] = GetParam();
    Traffic traffic = channel.sparse ? SparseTraffic(rate) : FullTraffic(rate);
    gen::EncodeOptions encode;
    encode.bitErrors = channel.bitErrors;
    encode.errorsInInfoOnly = channel.infoOnly;
    if (channel.damagedWords) {
        // Word 14 is the first address; 76 the tenth message codeword of the
        // streamed message (address in word 66), whose characters 25..27
        // complete inside it.
        encode.errorWords = {14, 76};
        traffic.lines[0] = "{???????} ? " + rate + " Hello world";
        traffic.lines[5].insert(13 + rate.size() + 28, "\u00bb").insert(13 + rate.size() + 25, "\u00ab");
    }
    gen::ChannelOptions air{channel.rateError, channel.jitter, channel.invert, channel.levels};
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        encode.seed = air.seed = seed;
        Settings settings = testing::Untimed();
        settings.InvertData = channel.invert;
        const std::vector<EdgeEntry> edges = testing::ToEdges(testing::Encode(traffic.pages, encode), air);
        const auto rig = testing::ReceiveMarked(edges, settings);
        EXPECT_EQ(rig->messageLines, traffic.lines);
        EXPECT_EQ(rig->title.titles.at(0), " Tolvane - POCSAG " + rate);
        // The rate is the statistics category.
        const std::size_t category = rate == "512" ? P512 : rate == "1200" ? P1200 : P2400;
        EXPECT_EQ(rig->engine->Stats().DailyStats.alphaMsgs[category], traffic.alphaMsgs);
        EXPECT_EQ(rig->engine->Stats().DailyStats.numericMsgs[category], traffic.numericMsgs);
    }
}

std::string EndToEndName(const ::testing::TestParamInfo<EndToEndParam>& info) {
    return std::get<1>(info.param).name + std::string("At") + std::get<0>(info.param);
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, PocsagEndToEnd,
                         ::testing::Combine(::testing::Values("512", "1200", "2400"), ::testing::ValuesIn(kChannels)),
                         EndToEndName);

}  // namespace
}  // namespace tolvane
