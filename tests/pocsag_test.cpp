// The POCSAG decoder: fed codeword by codeword, and end to end from the
// generator through edges, symbol recovery and the message pane.
#include "decoders/pocsag/pocsag_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/fake_world.h"
#include "support/loopback.h"
#include "tools/gen/page_description.h"
#include "tools/gen/pocsag_encoder.h"

namespace tolvane {
namespace {

using gen::kPocsagIdleWord;
using gen::kPocsagSyncWord;
using gen::PageKind;

std::vector<std::uint32_t> Message(PageKind kind, const std::string& text) {
    std::vector<std::uint32_t> words;
    std::string error;
    EXPECT_TRUE(gen::PocsagMessageWords(kind, text, words, error)) << error;
    return words;
}

// Feeds codewords straight into the decoder (no symbol recovery).
class PocsagBits : public ::testing::Test {
protected:
    void SetUp() override { rig.engine->settings().Timestamp = 0; }
    PocsagDecoder& Decoder() { return rig.engine->Pocsag(); }
    StatCounters& Hourly() { return rig.engine->Stats().HourlyStats; }

    void Word(std::uint32_t word) {
        for (int i = 31; i >= 0; --i) Decoder().PocsagInputBit((word >> i) & 1u ? '1' : '0');
    }
    // A sync codeword, the words, idle up to 16.
    void Batch(std::vector<std::uint32_t> words) {
        words.resize(16, kPocsagIdleWord);
        Word(kPocsagSyncWord);
        for (const std::uint32_t w : words) Word(w);
    }
    std::vector<std::uint32_t> Page(std::uint32_t capcode, int function, std::vector<std::uint32_t> message = {}) {
        message.insert(message.begin(), gen::PocsagAddressWord(capcode, function));
        return message;
    }

    testing::TestRig rig;
};

TEST_F(PocsagBits, SyncAcceptsUpToFourWrongBitsIdleUpToTwo) {
    for (int wrong = 0; wrong <= 5; ++wrong) {
        SCOPED_TRACE(wrong);
        rig.messageLines.clear();
        Decoder().PocsagInputBit('X');
        Word(kPocsagSyncWord ^ ((1u << wrong) - 1u) << 3);
        std::vector<std::uint32_t> words = Page(8, 0);
        words.resize(16, kPocsagIdleWord);
        for (const std::uint32_t w : words) Word(w);
        EXPECT_EQ(rig.messageLines, wrong <= 4 ? std::vector<std::string>{"{0000008} 1 1200 TONE ONLY"}
                                               : std::vector<std::string>{});
    }
    for (int wrong = 0; wrong <= 3; ++wrong) {
        SCOPED_TRACE(wrong);
        rig.messageLines.clear();
        // The damaged idle word is followed by a good address.
        Batch({gen::PocsagAddressWord(8, 0), kPocsagIdleWord ^ ((1u << wrong) - 1u) << 20,
               gen::PocsagAddressWord(16, 0)});
        ASSERT_FALSE(rig.messageLines.empty());
        EXPECT_EQ(rig.messageLines.front(), "{0000008} 1 1200 TONE ONLY");
        // Three wrong bits: an (uncorrectable) address word of its own.
        EXPECT_EQ(rig.messageLines.size(), wrong <= 2 ? 2u : 3u);
    }
}

TEST_F(PocsagBits, HowAPageEnds) {
    enum Ending { NextAddress, Idle, SignalLost };
    const std::string longText = "A message long enough to be streamed";
    struct Case {
        std::vector<std::uint32_t> message;
        Ending ending;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {{}, NextAddress, {"{0000008} 1 1200 TONE ONLY"}},
        {{}, Idle, {"{0000008} 1 1200 TONE ONLY"}},
        {{}, SignalLost, {}},
        {Message(PageKind::Alpha, "Short one"), NextAddress, {"{0000008} 1 1200 Short one  "}},
        {Message(PageKind::Alpha, "Short one"), Idle, {"{0000008} 1 1200 Short one  "}},
        {Message(PageKind::Alpha, "Short one"), SignalLost, {}},
        {Message(PageKind::Alpha, longText), NextAddress, {"{0000008} 1 1200 " + longText + " "}},
        {Message(PageKind::Alpha, longText), SignalLost, {"{0000008} 1 1200 " + longText + " "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.size() * 10 + c.ending);
        rig.messageLines.clear();
        Word(kPocsagSyncWord);
        for (const std::uint32_t w : Page(8, 0, c.message)) Word(w);
        if (c.ending == NextAddress) Word(gen::PocsagAddressWord(1000000, 0));
        if (c.ending == Idle) Word(kPocsagIdleWord);
        if (c.ending == SignalLost) Decoder().PocsagInputBit('X');
        EXPECT_EQ(rig.messageLines, c.lines);
        Decoder().PocsagInputBit('X');
    }
}

TEST_F(PocsagBits, SevenMessageWordsAreTextWithoutScoring) {
    // 35 digits fill seven codewords: shown as text, counted as alphanumeric.
    Batch(Page(8, 0, Message(PageKind::Numeric, "01234567890123456789012345678901234")));
    ASSERT_EQ(rig.messageLines.size(), 1u);
    EXPECT_EQ(rig.messageLines[0].size(), std::string("{0000008} 1 1200 ").size() + 20);
    StatCounters expected;
    expected.alphaMsgs[P1200] = 1;
    expected.alphaChars[P1200] = 20;
    EXPECT_EQ(Hourly(), expected);
}

TEST_F(PocsagBits, ScoreDecidesBetweenTextAndDigits) {
    struct Case {
        std::vector<std::int32_t> alpha;
        std::string digits;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {{'A', 'B', 'C', 'D'}, "12345", "ABCD"},         // 7 * 4 > 4 * 5
        {{'A', 'B', 10, 23}, "1234560", "1234560"},      // 14 <= 28
        {{'A', 'B', 'C', 10, 23}, "12345", "ABC\n\x17"},  // 10 and 23 count 0: 21 > 20
        {{'A', 'B', 'C', 5, 23}, "12345", "12345"},      // any other control counts -1
        {{'A', 5, 5}, "1U", std::string("A\x05\x05")},   // U weighs -19: -7 > -72
        {{'A', 5, 5}, "1(", std::string("A\x05\x05")},
        {{4096 + 5, 'B'}, "123", "\x05" "B"},            // toggled values are above 31
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        rig.messageLines.clear();
        Word(kPocsagSyncWord);
        Word(gen::PocsagAddressWord(8, 0));
        PocsagDecoder& d = Decoder();
        d.addressPending = 0;
        d.messageWords = 1;
        d.alphaCount = static_cast<std::int32_t>(c.alpha.size());
        for (std::size_t i = 0; i < c.alpha.size(); ++i) d.alpha[i] = c.alpha[i];
        d.numericCount = static_cast<std::int32_t>(c.digits.size());
        for (std::size_t i = 0; i < c.digits.size(); ++i) d.numeric[i] = c.digits[i];
        Word(kPocsagIdleWord);
        EXPECT_EQ(rig.messageLines, std::vector<std::string>{"{0000008} 1 1200 " + c.shown});
        Decoder().PocsagInputBit('X');
    }
}

TEST_F(PocsagBits, ShowNumericOffCountsButHidesDigitsAndTones) {
    rig.engine->settings().ShowNumeric = 0;
    const std::vector<std::uint32_t> text = Message(PageKind::Alpha, "Hey");
    Batch({gen::PocsagAddressWord(8, 0), Message(PageKind::Numeric, "12345")[0], gen::PocsagAddressWord(16, 1),
           kPocsagIdleWord, gen::PocsagAddressWord(32, 0), text[0], text[1]});
    EXPECT_EQ(rig.messageLines, std::vector<std::string>{"{0000034} 1 1200 Hey  "});
    EXPECT_EQ(Hourly().numericMsgs[P1200], 2u);
    EXPECT_EQ(Hourly().numericChars[P1200], 0u);
    EXPECT_EQ(Hourly().alphaMsgs[P1200], 1u);
    EXPECT_EQ(Hourly().alphaChars[P1200], 5u);
    EXPECT_EQ(rig.engine->Stats().DailyStats, rig.engine->Stats().HourlyStats);
}

// Text assembled from an uncorrectable codeword, or changed by the toggle it
// leaves behind, is shown in the bit-error colour even in a short message:
// damage must never look like clean text.
TEST_F(PocsagBits, ShortMessageDamageIsShownInTheBitErrorColour) {
    struct Case {
        PageKind kind;
        std::string text;
        ColorClass clean;
    };
    for (const Case& c : {Case{PageKind::Alpha, "ABCDEFGHIJKL", ColorClass::Alphanumeric},
                          Case{PageKind::Numeric, "0123456789012345", ColorClass::Numeric}}) {
        SCOPED_TRACE(c.text);
        std::vector<std::uint32_t> message = Message(c.kind, c.text);
        ASSERT_GE(message.size(), 3u);
        std::mt19937 rng(11);
        message[1] = gen::MakePocsagUncorrectable(message[1], rng);
        rig.messageLines.clear();
        Decoder().PocsagInputBit('X');
        Batch(Page(8, 0, message));
        ASSERT_EQ(rig.messageLines.size(), 1u);

        const TextPane& pane = rig.engine->output().MessagePane;
        const std::string row = pane.RowText(pane.row - 1);
        const auto start = static_cast<std::size_t>(rig.engine->output().Line().messageStart);
        ASSERT_LT(start, row.size());
        const std::uint8_t* attrs = pane.AttrsOfRow(pane.row - 1);
        // Units (7-bit characters or 4-bit digits) complete at these bit counts.
        const std::size_t unit = c.kind == PageKind::Alpha ? 7 : 4;
        for (std::size_t i = 0; start + i < row.size(); ++i) {
            const std::size_t lastBit = (i + 1) * unit - 1;  // payload bit index 0..
            const std::size_t firstBit = i * unit;
            const bool inBadWord = lastBit >= 20 && firstBit < 40;
            const auto colour = static_cast<ColorClass>(attrs[start + i]);
            if (inBadWord) {
                EXPECT_EQ(colour, ColorClass::BitErrors) << i;
            } else if (lastBit < 20 || firstBit >= 40 + 13) {
                EXPECT_EQ(colour, c.clean) << i;
            }
        }
    }
}

TEST_F(PocsagBits, GoodAndIdleCodewordsRefreshTheHold) {
    struct Case {
        std::uint32_t word;
        int hold;
    };
    const std::uint32_t address = gen::PocsagAddressWord(8, 0);
    const std::vector<Case> cases = {
        {address, 170}, {address ^ (1u << 20), 170}, {address ^ 1u, 170},
        {address ^ (3u << 20), 5},  // two corrected errors do not count
        {kPocsagIdleWord ^ (3u << 12), 170},
    };
    for (const Case& c : cases) {
        Word(kPocsagSyncWord);
        rig.engine->Chain().PocsagHold = 5;
        Word(c.word);
        EXPECT_EQ(rig.engine->Chain().PocsagHold, c.hold) << std::hex << c.word;
        Decoder().PocsagInputBit('X');
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
};

void PrintTo(const Channel& channel, std::ostream* os) { *os << channel.name; }

using EndToEndParam = std::tuple<std::string, Channel>;

class PocsagEndToEnd : public ::testing::TestWithParam<EndToEndParam> {};

TEST_P(PocsagEndToEnd, EveryPageArrivesExactly) {
    const auto& [rate, channel] = GetParam();
    const Traffic traffic = channel.sparse ? SparseTraffic(rate) : FullTraffic(rate);
    gen::EncodeOptions encode;
    encode.bitErrors = channel.bitErrors;
    encode.errorsInInfoOnly = channel.infoOnly;
    gen::ChannelOptions air{channel.rateError, channel.jitter, channel.invert, channel.levels};
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        encode.seed = air.seed = seed;
        Settings settings = testing::Untimed();
        settings.InvertData = channel.invert;
        const auto rig = testing::Receive(testing::ToEdges(testing::Encode(traffic.pages, encode), air), settings);
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

TEST(PocsagEndToEndMarks, UncorrectableAddressAndStreamedWordAreMarked) {
    for (const std::string rate : {"512", "1200", "2400"}) {
        SCOPED_TRACE(rate);
        Traffic traffic = FullTraffic(rate);
        // Word 14 is the first address; 76 the tenth message codeword of the
        // streamed message (address in word 66), whose characters 25..27
        // complete inside it.
        gen::EncodeOptions encode;
        encode.errorWords = {14, 76};
        traffic.lines[0] = "{???????} ? " + rate + " Hello world";
        const auto rig = testing::Receive(testing::ToEdges(testing::Encode(traffic.pages, encode)));
        EXPECT_EQ(rig->messageLines, traffic.lines);

        const std::string header = "{1000001} 2 " + rate + " ";
        const std::vector<int> colours = testing::RowColours(*rig, traffic.lines[5]);
        ASSERT_EQ(colours.size(), traffic.lines[5].size());
        for (std::size_t i = 0; i + header.size() < colours.size(); ++i) {
            const bool inBadWord = i >= 25 && i <= 27;
            EXPECT_EQ(colours[header.size() + i], static_cast<int>(inBadWord ? ColorClass::BitErrors : ColorClass::Alphanumeric)) << i;
        }
    }
}

}  // namespace
}  // namespace tolvane
