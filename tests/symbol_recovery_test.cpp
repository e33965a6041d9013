#include "receiver/symbol_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "receiver/decode_mode.h"
#include "settings/settings.h"
#include "support/loopback.h"
#include "receiver/audio_slicer.h"
#include "tools/gen/audio_writer.h"

namespace tolvane {
namespace {

class RecordingDecoders : public DecoderInputs {
public:
    void PocsagInputBit(char symbol) override {
        pocsag += symbol;
        if (keepPocsag != nullptr) keepPocsag->KeepPocsag();
    }
    void FlexInputSymbol(std::uint8_t symbol) override { flex += static_cast<char>('0' + symbol); }
    void GolayInputBit(std::int8_t bit) override { golay += static_cast<char>('0' + bit); }
    std::string pocsag, flex, golay;
    // A decoder that finds a good codeword in every bit.
    ClockControl* keepPocsag = nullptr;
};

struct Chain {
    explicit Chain(Settings s = Settings()) : settings(s) {}
    Settings settings;
    testing::FakeTitle titleSink;
    DecodeModeTitle title{titleSink};
    RecordingDecoders decoders;
    SymbolRecovery recovery{settings, title, decoders};
    const ClockState& clocks = recovery.Clocks();

    // Alternating levels, one run per entry.
    void Runs(std::int32_t length, int count) {
        for (int i = 0; i < count; ++i) recovery.ProcessEntry(static_cast<std::uint16_t>(length), (level_ ^= 1) ? kLineDCD : 0);
    }
    int level_ = 0;

    // POCSAG bits at 1200 bit/s, one entry per bit ('1' is the low level).
    void Bits(const std::string& bits) {
        for (const char b : bits) recovery.ProcessEntry(static_cast<std::uint16_t>(kPocsag1200Period), b == '1' ? 0 : kLineDCD);
    }
};

std::string Word(std::uint32_t word) {
    std::string bits;
    for (int k = 31; k >= 0; --k) bits += (word >> k) & 1 ? '1' : '0';
    return bits;
}

// Serial interfaces: raised lines counted (RI never), 2-level on any line.
TEST(LineStateToSymbol, CountsRaisedLinesIgnoringRi) {
    struct Case {
        std::uint8_t state;
        bool fourLevel, invert;
        int symbol;
    };
    for (const Case c : {Case{0x00, true, false, 0}, {kLineCTS, true, false, 1}, {kLineRI, true, false, 0},
                         {kLineCTS | kLineDSR, true, false, 2}, {kLineCTS | kLineDSR | kLineDCD | kLineRI, true, false, 3},
                         {kLineDSR, false, false, 3}, {0x00, false, false, 0}, {kLineDSR, false, true, 0},
                         {0x00, false, true, 3}, {kLineCTS, true, true, 2}, {0x0F, false, false, 0}})
        EXPECT_EQ(LineStateToSymbol(c.state, c.fourLevel, c.invert), c.symbol) << int(c.state);
}

// Each level change scores the run that just ended: +1 inside a rate's
// window; outside it a score above 5 loses 3, one of 5 or less stays.
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
    for (const auto& [runs, score] : {std::pair{6, 3}, {5, 5}, {10, 7}}) {
        Chain c;
        c.Runs(993, runs);
        c.Runs(100, 2);
        EXPECT_EQ(c.recovery.RateDetector().scores[1], score) << runs;
    }
}

TEST(PocsagRateDetector, EntersPocsagAfter181RunsAndLeavesAfterHold) {
    Chain c;
    c.Runs(993, 181);
    EXPECT_EQ(c.clocks.PocsagHold, 0);
    c.Runs(993, 1);
    EXPECT_EQ(c.titleSink.Current(), " Tolvane - POCSAG 1200");
    EXPECT_EQ(c.clocks.PocsagSpeedCode, kPocsagSpeed1200);
    EXPECT_DOUBLE_EQ(c.clocks.SymbolPeriod, kPocsag1200Period);
    EXPECT_DOUBLE_EQ(c.clocks.SymbolLoopGain, kLoopGainPocsag);
    EXPECT_GT(c.clocks.PocsagHold, 590);
    EXPECT_EQ(c.recovery.RateDetector().scores[1], 0);

    // A steady level: 600 bits later POCSAG ends with one 'X'.
    c.decoders.pocsag.clear();
    for (int i = 0; i < 40; ++i) c.recovery.ProcessEntry(60000, 0);
    EXPECT_EQ(c.clocks.PocsagHold, 0);
    EXPECT_EQ(c.titleSink.Current(), " Tolvane");
    EXPECT_EQ(c.decoders.pocsag.substr(c.decoders.pocsag.find('X')), "X");  // one, at the end
    EXPECT_DOUBLE_EQ(c.clocks.SymbolPeriod, kFlex1600Period);
    EXPECT_DOUBLE_EQ(c.clocks.SymbolLoopGain, kLoopGainNormal);
}

// A FLEX lock holds rate detection off (the run keeps growing) and keeps
// the Golay decoder idle; a Golay lock keeps FLEX and POCSAG idle.
TEST(SymbolRecovery, LocksGateTheDecoders) {
    Chain flexLocked;
    flexLocked.recovery.LockFlex(mode_code::Flex1600_2);
    flexLocked.Runs(993, 300);
    EXPECT_EQ(flexLocked.recovery.RateDetector().scores[1], 0);
    EXPECT_EQ(flexLocked.recovery.RateDetector().runLength, 993 * 300);
    EXPECT_EQ(flexLocked.recovery.RateDetector().lastLevel, 0);
    EXPECT_TRUE(flexLocked.decoders.golay.empty());
    EXPECT_FALSE(flexLocked.decoders.flex.empty());
    Chain off;
    off.settings.DecodePocsag = 0;
    off.Runs(993, 300);
    EXPECT_EQ(off.clocks.PocsagHold, 0);

    Chain golayLocked;
    golayLocked.recovery.LockGolay();
    golayLocked.recovery.KeepPocsag();
    golayLocked.Runs(2000, 50);
    EXPECT_TRUE(golayLocked.decoders.flex.empty());
    EXPECT_TRUE(golayLocked.decoders.pocsag.empty());
    EXPECT_EQ(golayLocked.clocks.PocsagHold, kPocsagHoldOnKeep);
    EXPECT_FALSE(golayLocked.decoders.golay.empty());
}

// Receiver noise between transmissions (sliced, so that its runs have the
// lengths a real receiver gives) must teach the symbol clock no rate: one
// learnt from it made the clock slip in the next FLEX frame header.
TEST(SymbolRecovery, NoiseTeachesTheClockNoRate) {
    Chain c;
    std::mt19937 rng(4);  // a rate learnt from it came to 1.2 %
    std::normal_distribution<double> gauss;
    gen::LowPass receiver(4000, 22050);
    std::vector<float> noise(22050 * 5);
    for (float& v : noise) v = static_cast<float>(0.1 * receiver.Step(gauss(rng)));
    AudioSlicer slicer;
    std::vector<EdgeEntry> edges;
    slicer.process(noise, edges);
    for (const EdgeEntry& e : edges) c.recovery.ProcessEntry(e.duration, e.lineState);
    EXPECT_LT(std::abs(c.clocks.symbolRate.drift), 0.001);
}

// After a pause the slicer's levels are still those of the pause, and the
// runs of a preamble come out unequal. From a first change half a period
// off, the clock must not settle with the changes at its sampling
// instants, where every sample reads the longer level.
TEST(SymbolRecovery, FirstChangeAfterAPauseSetsTheClock) {
    Chain c;
    for (int piece = 0; piece < 20; ++piece) c.recovery.ProcessEntry(60000, 0);
    const double error = c.clocks.symbolAccumulator - c.clocks.SymbolPhase;
    c.recovery.ProcessEntry(static_cast<std::uint16_t>(std::fmod(0.4 * kFlex1600Period - error + 2 * kFlex1600Period, kFlex1600Period)), 0);
    c.decoders.flex.clear();
    for (int pair = 0; pair < 40; ++pair) {
        c.recovery.ProcessEntry(static_cast<std::uint16_t>(1.2 * kFlex1600Period), kLineDCD);
        c.recovery.ProcessEntry(static_cast<std::uint16_t>(0.8 * kFlex1600Period), 0);
    }
    const std::string last = c.decoders.flex.substr(c.decoders.flex.size() - 20);
    EXPECT_TRUE(last.find("00") == std::string::npos && last.find("33") == std::string::npos) << last;
}

// Half of the FLEX sync marker is alternating bits, so noise that ends
// in the marker's first half, followed by a preamble, reads as the marker
// in the complement: that must not flip the sense of the transmission.
TEST(SymbolRecovery, NoiseBeforeAPreambleFlipsNoPolarity) {
    const gen::SymbolStream page = testing::Encode({"flex:1600/2:1234567:0:alpha:Right way up"});
    ASSERT_NEAR(page.front().seconds, 1 / 1600.0, 1e-9);
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, 0.3);
    // As the watch reads bits (1 = symbol 0 or 1); the preamble must go on 0101.
    const int extra = page.front().symbol < 2 ? 1 : 0;
    for (int k = 15 + extra; k >= 0; --k) gen::AppendSymbols(stream, ((~0xA6C6u << extra) >> k) & 1 ? 0 : 3, 1600);
    stream.insert(stream.end(), page.begin(), page.end());
    const auto rig = testing::Receive(gen::SymbolsToEdges(stream, {}));
    EXPECT_EQ(rig->messageLines, testing::Receive(gen::SymbolsToEdges(page, {}))->messageLines);
    EXPECT_EQ(std::count(rig->title.titles.begin(), rig->title.titles.end(), " Tolvane - inverted polarity"), 0);
}

// The POCSAG sync word complemented flips the sense, with up to two bit
// errors, but not within a batch (sync and 16 codewords) of the sync word
// as sent, where it is data.
TEST(SymbolRecovery, ComplementedPocsagSyncFlipsPolarity) {
    struct Case {
        int errors, endsAfterSync;
        bool flips;
    };
    for (const Case c : {Case{0, 576, false}, {0, 577, true}, {2, 700, true}, {3, 700, false}}) {
        Chain chain;
        chain.recovery.EnterPocsag(kPocsagSpeed1200);
        chain.decoders.keepPocsag = &chain.recovery;
        std::string complement = Word(~0x7CD215D8u);
        for (int k = 0; k < c.errors; ++k) complement[static_cast<std::size_t>(k)] ^= 1;
        std::string alternating;
        for (int k = 0; k < c.endsAfterSync - 32; ++k) alternating += k % 2 ? '0' : '1';
        chain.Bits(alternating.substr(0, 64) + Word(0x7CD215D8u) + alternating + complement + alternating.substr(0, 64));
        EXPECT_EQ(chain.recovery.FoundInverted(), c.flips) << c.errors << " " << c.endsAfterSync;
    }
}

}  // namespace
}  // namespace tolvane
