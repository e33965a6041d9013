// The GSC decoder's idle search: two Golay corrections, the start code test
// and twenty preamble comparisons for every 600 bit/s sample. The counter
// signal_s_per_s says how many seconds of signal one core searches per
// second; real time is 1.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "decoders/gsc/golay.h"
#include "engine/engine.h"
#include "tests/support/fake_world.h"

namespace tolvane {
namespace {

constexpr double kGolaySamplesPerSecond = 600.0;

std::vector<std::uint32_t> RandomWords(std::size_t count) {
    std::mt19937 rng(3);
    std::vector<std::uint32_t> words(count);
    for (std::uint32_t& w : words) w = rng() & kGolayMask;
    return words;
}

void BM_GolayCorrectTable(benchmark::State& state) {
    const std::vector<std::uint32_t> words = RandomWords(4096);
    for (auto _ : state) {
        for (const std::uint32_t w : words) benchmark::DoNotOptimize(GolayCorrect(w));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(words.size()));
}
BENCHMARK(BM_GolayCorrectTable);

// The rotation search the table replaces, for comparison.
void BM_GolayCorrectTrapping(benchmark::State& state) {
    const std::vector<std::uint32_t> words = RandomWords(4096);
    for (auto _ : state) {
        for (const std::uint32_t w : words) {
            std::uint32_t count = 0;
            benchmark::DoNotOptimize(GolayCorrectTrapping(w, count));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(words.size()));
}
BENCHMARK(BM_GolayCorrectTrapping);

// Random samples straight into the decoder: it never locks, so every sample
// runs the full search.
void BM_GscIdleSearch(benchmark::State& state) {
    std::mt19937 rng(9);
    std::vector<std::int8_t> samples(6000);
    for (std::int8_t& s : samples) s = static_cast<std::int8_t>(rng() & 1u);
    testing::TestRig rig;
    GscDecoder& decoder = rig.engine->Gsc();
    for (auto _ : state) {
        for (const std::int8_t s : samples) decoder.GolayInputBit(s);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples.size()));
    state.counters["signal_s_per_s"] = benchmark::Counter(
        static_cast<double>(samples.size()) / kGolaySamplesPerSecond * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GscIdleSearch);

}  // namespace
}  // namespace tolvane
