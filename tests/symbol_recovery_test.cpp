#include "receiver/symbol_recovery.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "receiver/decode_mode.h"
#include "receiver/edge_ring.h"
#include "settings/settings.h"
#include "support/fake_world.h"
#include "tools/gen/symbol_stream.h"

namespace tolvane {
namespace {

class RecordingDecoders : public DecoderInputs {
public:
    void PocsagInputBit(char symbol) override { pocsag += symbol; }
    void FlexInputSymbol(std::uint8_t symbol) override { flex += static_cast<char>('0' + symbol); }
    void GolayInputBit(std::int8_t bit) override { golay += static_cast<char>('0' + bit); }
    std::string pocsag, flex, golay;
};

struct Chain {
    explicit Chain(Settings s = Settings()) : settings(s) {}
    Settings settings;
    testing::FakeTitle titleSink;
    DecodeModeTitle title{titleSink};
    ReceiverChain chain;
    RecordingDecoders decoders;
    SymbolRecovery recovery{settings, chain, title, decoders};

    // Alternating levels, one run per entry.
    void Runs(std::int32_t length, int count) {
        for (int i = 0; i < count; ++i) recovery.ProcessEntry(static_cast<std::uint16_t>(length), (level_ ^= 1) ? kLineDCD : 0);
    }
    int level_ = 0;
};

TEST(LineStateToSymbol, CountsRaisedLinesIgnoringRi) {
    EXPECT_EQ(LineStateToSymbol(0x00, true, false), 0);
    EXPECT_EQ(LineStateToSymbol(kLineCTS, true, false), 1);
    EXPECT_EQ(LineStateToSymbol(kLineRI, true, false), 0);
    EXPECT_EQ(LineStateToSymbol(kLineCTS | kLineDSR, true, false), 2);
    EXPECT_EQ(LineStateToSymbol(kLineCTS | kLineDSR | kLineDCD | kLineRI, true, false), 3);
    // Two levels: any raised line is the upper level; invert swaps.
    EXPECT_EQ(LineStateToSymbol(kLineDSR, false, false), 3);
    EXPECT_EQ(LineStateToSymbol(0x00, false, false), 0);
    EXPECT_EQ(LineStateToSymbol(kLineDSR, false, true), 0);
    EXPECT_EQ(LineStateToSymbol(0x00, false, true), 3);
    EXPECT_EQ(LineStateToSymbol(kLineCTS, true, true), 2);
    // The low nibble is unused.
    EXPECT_EQ(LineStateToSymbol(0x0F, false, false), 0);
}

// Each level change scores the run that just ended: +1 inside a rate's
// window; outside it a score above 5 halves, one of 5 or less stays.
TEST(PocsagRateDetector, WindowBoundariesAndDecay) {
    struct Case {
        std::int32_t inside, outsideLow, outsideHigh;
        std::size_t index;
    };
    for (const Case c : {Case{422, 421, 571, 0}, Case{570, 421, 571, 0}, Case{843, 842, 1142, 1},
                         Case{1141, 842, 1142, 1}, Case{1977, 1976, 2674, 2}, Case{2673, 1976, 2674, 2}}) {
        Chain a;
        a.Runs(c.inside, 1);  // the first level change evaluates the initial run of 0
        a.Runs(c.inside, 3);
        EXPECT_EQ(a.recovery.RateDetector().scores[c.index], 3) << c.inside;
        Chain b;
        b.Runs(c.outsideLow, 4);
        b.Runs(c.outsideHigh, 4);
        EXPECT_EQ(b.recovery.RateDetector().scores[c.index], 0) << c.outsideLow;
    }
    for (const auto& [runs, score] : {std::pair{6, 3}, {5, 5}}) {
        Chain c;
        c.Runs(993, runs);
        c.Runs(100, 2);
        EXPECT_EQ(c.recovery.RateDetector().scores[1], score) << runs;
    }
}

TEST(PocsagRateDetector, EntersPocsagAfter181RunsAndLeavesAfterHold) {
    Chain c;
    c.Runs(993, 181);
    EXPECT_EQ(c.chain.PocsagHold, 0);
    c.Runs(993, 1);
    EXPECT_EQ(c.titleSink.Current(), " Tolvane - POCSAG 1200");
    EXPECT_EQ(c.chain.PocsagSpeedCode, kPocsagSpeed1200);
    EXPECT_DOUBLE_EQ(c.chain.SymbolPeriod, kPocsag1200Period);
    EXPECT_DOUBLE_EQ(c.chain.SymbolLoopGain, kLoopGainPocsag);
    EXPECT_GT(c.chain.PocsagHold, 590);
    EXPECT_EQ(c.recovery.RateDetector().scores[1], 0);

    // A steady level: 600 bits later POCSAG ends with one 'X'.
    c.decoders.pocsag.clear();
    for (int i = 0; i < 40; ++i) c.recovery.ProcessEntry(60000, 0);
    EXPECT_EQ(c.chain.PocsagHold, 0);
    EXPECT_EQ(c.titleSink.Current(), " Tolvane");
    ASSERT_FALSE(c.decoders.pocsag.empty());
    EXPECT_EQ(c.decoders.pocsag.back(), 'X');
    EXPECT_EQ(std::count(c.decoders.pocsag.begin(), c.decoders.pocsag.end(), 'X'), 1);
    EXPECT_DOUBLE_EQ(c.chain.SymbolPeriod, kFlex1600Period);
    EXPECT_DOUBLE_EQ(c.chain.SymbolLoopGain, kLoopGainNormal);
}

TEST(PocsagRateDetector, HeldOffWhileLockedAndRunKeepsGrowing) {
    Chain c;
    c.chain.FlexLock = true;
    c.Runs(993, 300);
    EXPECT_EQ(c.recovery.RateDetector().scores[1], 0);
    EXPECT_EQ(c.recovery.RateDetector().runLength, 993 * 300);
    EXPECT_EQ(c.recovery.RateDetector().lastLevel, 0);
    Chain off;
    off.settings.DecodePocsag = 0;
    off.Runs(993, 300);
    EXPECT_EQ(off.chain.PocsagHold, 0);
}

TEST(SymbolRecovery, LocksGateTheDecoders) {
    Chain flexLocked;
    flexLocked.chain.FlexLock = true;
    flexLocked.Runs(2000, 50);
    EXPECT_TRUE(flexLocked.decoders.golay.empty());
    EXPECT_FALSE(flexLocked.decoders.flex.empty());

    Chain golayLocked;
    golayLocked.chain.GolayLock = true;
    golayLocked.chain.PocsagHold = 100;
    golayLocked.Runs(2000, 50);
    EXPECT_TRUE(golayLocked.decoders.flex.empty());
    EXPECT_TRUE(golayLocked.decoders.pocsag.empty());
    EXPECT_EQ(golayLocked.chain.PocsagHold, 100);
    EXPECT_FALSE(golayLocked.decoders.golay.empty());
}

// Samples a random symbol stream through the clock and checks that every
// symbol comes out once, in order, despite clock error and jitter: the
// rate term follows a transmitter a per cent off at every loop gain.
enum class Clock { Pocsag, Flex, Golay };

struct ClockCase {
    const char* name;
    double rate;
    int levels;
    double rateError;
    Clock clock;
};

std::string ClockCaseName(const ::testing::TestParamInfo<ClockCase>& param) { return param.param.name; }

class SymbolClockTest : public ::testing::TestWithParam<ClockCase> {};

TEST_P(SymbolClockTest, SamplesEverySymbolWithoutSlips) {
    const ClockCase p = GetParam();
    Settings settings;
    settings.FourLevelInterface = p.levels == 4;
    settings.DecodeGolay = p.clock == Clock::Golay;
    settings.DecodeFlex = p.clock != Clock::Golay;
    settings.DecodePocsag = p.clock == Clock::Pocsag;
    Chain c(settings);
    if (p.clock == Clock::Pocsag) {
        c.chain.PocsagHold = 1'000'000;
        c.chain.FlexLock = true;  // keeps the rate detector from re-locking on random data
        c.chain.SymbolLoopGain = kLoopGainPocsag;
        c.chain.SymbolPeriod = p.rate == 512 ? kPocsag512Period : p.rate == 1200 ? kPocsag1200Period : kPocsag2400Period;
    } else {
        c.chain.SymbolPeriod = p.rate == 1600 ? kFlex1600Period : kFlex3200Period;
    }
    std::mt19937 rng(42);
    gen::SymbolStream stream;
    // The transmission's preamble, where the loop pulls in.
    const int preamble = p.clock == Clock::Golay ? 0 : 576;
    for (int i = 0; i < preamble; ++i) gen::AppendSymbols(stream, (i & 1) * 3, p.rate);
    std::string sent;
    const int n = 4000;
    for (int i = 0; i < n; ++i) {
        const std::uint8_t s = p.levels == 4 ? static_cast<std::uint8_t>(rng() & 3) : static_cast<std::uint8_t>((rng() & 1) * 3);
        gen::AppendSymbols(stream, s, p.rate);
        sent += p.clock == Clock::Pocsag ? (s >= 2 ? '0' : '1') : p.clock == Clock::Golay ? (s ? '1' : '0') : static_cast<char>('0' + s);
    }
    gen::ChannelOptions channel;
    channel.levels = p.levels;
    channel.rateError = p.rateError;
    channel.jitter = 0.05;
    for (const EdgeEntry& e : gen::SymbolsToEdges(stream, channel)) c.recovery.ProcessEntry(e.duration, e.lineState);

    const std::string& got = p.clock == Clock::Pocsag ? c.decoders.pocsag : p.clock == Clock::Golay ? c.decoders.golay : c.decoders.flex;
    // The GSC clock pulls in on the data itself.
    const int settle = p.clock == Clock::Golay ? 100 : 10;
    EXPECT_NE(got.find(sent.substr(settle, n - 2 * settle)), std::string::npos) << p.name;
    EXPECT_NEAR(static_cast<double>(got.size()), preamble + n, 2.0) << p.name;
}

INSTANTIATE_TEST_SUITE_P(Rates, SymbolClockTest,
                         ::testing::Values(ClockCase{"pocsag512_fast", 512, 2, 0.01, Clock::Pocsag},
                                           ClockCase{"pocsag512_slow", 512, 2, -0.01, Clock::Pocsag},
                                           ClockCase{"pocsag1200_fast", 1200, 2, 0.01, Clock::Pocsag},
                                           ClockCase{"pocsag1200_slow", 1200, 2, -0.01, Clock::Pocsag},
                                           ClockCase{"pocsag2400_fast", 2400, 2, 0.01, Clock::Pocsag},
                                           ClockCase{"pocsag2400_slow", 2400, 2, -0.01, Clock::Pocsag},
                                           ClockCase{"flex1600_2_fast", 1600, 2, 0.01, Clock::Flex},
                                           ClockCase{"flex1600_4_slow", 1600, 4, -0.01, Clock::Flex},
                                           ClockCase{"flex3200_2_slow", 3200, 2, -0.01, Clock::Flex},
                                           ClockCase{"flex3200_4_fast", 3200, 4, 0.01, Clock::Flex},
                                           ClockCase{"golay_fast", 600, 2, 0.01, Clock::Golay},
                                           ClockCase{"golay_slow", 600, 2, -0.01, Clock::Golay}),
                         ClockCaseName);

}  // namespace
}  // namespace tolvane
