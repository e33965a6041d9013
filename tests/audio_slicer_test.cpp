#include "receiver/audio_slicer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "receiver/symbol_recovery.h"
#include "tools/gen/audio_writer.h"

namespace tolvane {
namespace {

// The sliced line states, as (start tick, state) for lookup by time.
class Timeline {
public:
    explicit Timeline(const std::vector<EdgeEntry>& edges) {
        std::uint64_t t = 0;
        for (const EdgeEntry& e : edges) {
            if (starts_.empty() || states_.back() != e.lineState) {
                starts_.push_back(t);
                states_.push_back(e.lineState);
            }
            t += e.duration;
        }
    }
    std::uint8_t At(double ticks) const {
        const auto it = std::upper_bound(starts_.begin(), starts_.end(), static_cast<std::uint64_t>(ticks));
        return states_[static_cast<std::size_t>(it - starts_.begin()) - 1];
    }
    // Tick of every change of state.
    std::vector<double> Changes() const { return {starts_.begin() + 1, starts_.end()}; }

private:
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint8_t> states_;
};

gen::SymbolStream RandomSymbols(int levels, double rate, int count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    gen::SymbolStream stream;
    for (int i = 0; i < count; ++i) {
        const auto symbol = static_cast<std::uint8_t>(levels == 4 ? rng() % 4 : (rng() % 2) * 3);
        gen::AppendSymbols(stream, symbol, rate);
    }
    return stream;
}

std::vector<EdgeEntry> Slice(const std::vector<float>& audio, const SlicerOptions& options) {
    AudioSlicer slicer(options);
    std::vector<EdgeEntry> edges;
    slicer.process(audio, edges);
    slicer.Flush(edges);
    return edges;
}

// The edges of a 2-level signal sit at one constant delay from the true
// transitions, to a small fraction of a symbol, finer than one sample.
TEST(AudioSlicer, EdgeTiming) {
    for (const auto& [symbolRate, sampleRate] : {std::pair{512.0, 22050.0}, {1200.0, 22050.0}, {1600.0, 22050.0},
                                                 {2400.0, 22050.0}, {3200.0, 22050.0}, {1200.0, 8000.0}, {3200.0, 48000.0}}) {
        SCOPED_TRACE(std::to_string(symbolRate) + " symbols/s, " + std::to_string(sampleRate) + " Hz");
        const gen::SymbolStream stream = RandomSymbols(2, symbolRate, 1200, 7);
        SlicerOptions options;
        options.sampleRate = sampleRate;
        const double symbolTicks = 1.0 / (symbolRate * kTickSeconds);
        const double sampleTicks = 1.0 / (sampleRate * kTickSeconds);
        // The first 150 ms teach the levels.
        const auto trained = static_cast<std::size_t>(std::max(100.0, 0.15 * symbolRate));

        gen::AudioOptions audio;
        audio.sampleRate = sampleRate;
        audio.filterHz = 0.4 * sampleRate;
        const Timeline sliced(Slice(gen::SymbolsToAudio(stream, audio), options));
        const double leadTicks = audio.leadSeconds / kTickSeconds;
        std::vector<double> truth;
        for (std::size_t i = trained + 1; i < stream.size(); ++i)
            if (stream[i].symbol != stream[i - 1].symbol) truth.push_back(leadTicks + static_cast<double>(i) * symbolTicks);
        std::vector<double> changes;
        for (double t : sliced.Changes()) {
            const double symbol = (t - leadTicks) / symbolTicks;
            if (symbol > static_cast<double>(trained) + 0.5 && symbol < static_cast<double>(stream.size()) - 0.5)
                changes.push_back(t);
        }
        ASSERT_EQ(changes.size(), truth.size());
        std::vector<double> delays(truth.size());
        std::transform(changes.begin(), changes.end(), truth.begin(), delays.begin(), std::minus<>());
        const auto [low, high] = std::minmax_element(delays.begin(), delays.end());
        // Sampling alone would scatter edges over a whole sample. At the rate
        // the averaging is made for, the small wobble of the tracked centre
        // shows instead (a level is only touched for a moment per symbol).
        const double allowed = symbolRate >= options.maxSymbolRate ? 0.05 * symbolTicks : 0.35 * sampleTicks;
        EXPECT_LT(*high - *low, allowed) << "spread of edge delays, ticks";
    }
}


// A long run of one level (a preamble's end, idle fill) must not drag the
// thresholds into it; a strong DC drift and a hard-clipped signal are
// followed.
TEST(AudioSlicer, LongRunsDriftAndClipping) {
    gen::SymbolStream stream = RandomSymbols(2, 1200, 200, 11);
    gen::AppendSilence(stream, 3, 0.25);
    const gen::SymbolStream tail = RandomSymbols(2, 1200, 200, 12);
    stream.insert(stream.end(), tail.begin(), tail.end());

    for (const auto& [deviation, driftPerSecond] : {std::pair{0.3, 0.0}, {0.2, 0.4}, {4.0, 0.0}}) {
        gen::AudioOptions audio;
        audio.deviation = deviation;
        std::vector<float> samples = gen::SymbolsToAudio(stream, audio);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] += static_cast<float>(driftPerSecond * static_cast<double>(i) / 22050 - 0.2 * driftPerSecond);
        const Timeline sliced(Slice(samples, SlicerOptions()));
        const double symbolTicks = 1.0 / (1200 * kTickSeconds);
        double t = audio.leadSeconds / kTickSeconds + 0.6 * symbolTicks;
        int wrong = 0;
        for (std::size_t i = 0; i < stream.size(); ++i) {
            const double length = stream[i].seconds / kTickSeconds;
            if (i >= 10) {
                // Check the start, middle and end of long runs too.
                for (double at = t; at < t + length - 0.3 * symbolTicks; at += symbolTicks) {
                    if ((sliced.At(at) != 0) != (stream[i].symbol != 0)) ++wrong;
                }
            }
            t += length;
        }
        EXPECT_EQ(wrong, 0) << "deviation " << deviation << " drift " << driftPerSecond;
    }
}

// Hiss far below the squelch level is silence: one steady state, which a
// live consumer sees in pieces while it lasts, not only at its end.
TEST(AudioSlicer, HissBelowTheSquelchIsOneSteadyState) {
    std::mt19937 rng(9);
    std::normal_distribution<float> hiss(0.0f, 0.0003f);
    std::vector<float> quiet(22050 * 2);
    for (float& s : quiet) s = hiss(rng);
    AudioSlicer slicer;
    std::vector<EdgeEntry> edges;
    slicer.process(std::span<const float>(quiet).first(22050), edges);
    EXPECT_FALSE(edges.empty());
    EXPECT_TRUE(Timeline(Slice(quiet, SlicerOptions())).Changes().empty());
}

// The edges of an alternating 2400 bit/s signal (a POCSAG preamble) in
// noise, and the share of its one-bit runs within +-15 % of a bit.
std::vector<double> PreambleEdges(double snrDb, double timingRate) {
    gen::SymbolStream stream;
    for (int i = 0; i < 4000; ++i) gen::AppendSymbols(stream, static_cast<std::uint8_t>((i & 1) * 3), 2400);
    gen::AudioOptions audio;
    audio.snrDb = snrDb;
    audio.seed = 4;
    SlicerOptions options;
    options.timingRate = timingRate;
    return Timeline(Slice(gen::SymbolsToAudio(stream, audio), options)).Changes();
}

double ShareInWindow(const std::vector<double>& changes) {
    const double bit = 1.0 / (2400 * kTickSeconds);
    int inWindow = 0;
    for (std::size_t i = 1; i < changes.size(); ++i)
        if (std::abs(changes[i] - changes[i - 1] - bit) <= 0.15 * bit) ++inWindow;
    return static_cast<double>(inWindow) / static_cast<double>(changes.size() - 1);
}

// The short timing path is what lets a 2400 bit/s preamble through the rate
// window at moderate noise. In heavy noise it crosses back and forth at most
// edges: then every edge is timed on the decision filter, as without it.
TEST(AudioSlicer, ShortTimingPathAtModerateAndHeavyNoise) {
    const double withPath = ShareInWindow(PreambleEdges(8, SlicerOptions().timingRate));
    const double without = ShareInWindow(PreambleEdges(8, 0));
    EXPECT_GT(withPath, 0.87) << without;
    EXPECT_LT(without, 0.80) << withPath;
    const std::vector<double> heavy = PreambleEdges(-3, SlicerOptions().timingRate), plain = PreambleEdges(-3, 0);
    ASSERT_EQ(heavy.size(), plain.size());
    int differ = 0;
    // The share of ambiguous edges needs a few dozen edges to build up.
    for (std::size_t i = 100; i < heavy.size(); ++i) differ += std::abs(heavy[i] - plain[i]) > 1 ? 1 : 0;
    EXPECT_EQ(differ, 0);
}

}  // namespace
}  // namespace tolvane
