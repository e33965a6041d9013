// The audio chain must run far faster than real time: slicing one second of
// 22050 Hz discriminator audio (2- and 4-level).
#include <benchmark/benchmark.h>

#include <random>

#include "receiver/audio_slicer.h"
#include "tools/gen/audio_writer.h"

namespace {

using namespace tolvane;

std::vector<float> OneSecond(int levels, double rate) {
    std::mt19937 rng(1);
    gen::SymbolStream stream;
    for (int i = 0; i < static_cast<int>(rate); ++i) {
        gen::AppendSymbols(stream, static_cast<std::uint8_t>(levels == 4 ? rng() % 4 : (rng() % 2) * 3), rate);
    }
    gen::AudioOptions audio;
    audio.levels = levels;
    audio.snrDb = 15;
    audio.leadSeconds = 0;
    return gen::SymbolsToAudio(stream, audio);
}

// Arguments: the levels, and the corner (Hz) of an AC-coupled input that
// is undone first (0: DC-coupled, -1: estimated).
void SliceOneSecond(benchmark::State& state) {
    const int levels = static_cast<int>(state.range(0));
    const std::vector<float> samples = OneSecond(levels, 3200);
    SlicerOptions options;
    options.fourLevel = levels == 4;
    options.highpassCorner = static_cast<double>(state.range(1));
    AudioSlicer slicer(options);
    std::vector<EdgeEntry> edges;
    edges.reserve(16384);
    for (auto _ : state) {
        edges.clear();
        slicer.process(samples, edges);
        benchmark::DoNotOptimize(edges.data());
    }
    // Items are seconds of audio: items per second is the real-time factor.
    state.SetItemsProcessed(state.iterations());
    state.counters["samples/s"] = benchmark::Counter(static_cast<double>(samples.size()) * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(SliceOneSecond)->Args({2, 0})->Args({4, 0})->Args({2, 30})->Args({4, 30})->Args({2, -1})->Args({4, -1});

}  // namespace
