// BchCorrect per call: clean words, one and two errors, uncorrectable.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "decoders/bch/bch.h"

namespace tolvane {
namespace {

void BM_BchCorrect(benchmark::State& state) {
    const int errors = static_cast<int>(state.range(0));
    std::mt19937 rng(1);
    std::vector<std::uint32_t> words(1024);
    for (auto& w : words) {
        w = BchEncode(rng() & kBchInformationMask);
        for (int e = 0; e < errors; ++e) w ^= 1u << (rng() % 32);
    }
    Bch bch;
    std::size_t i = 0;
    for (auto _ : state) {
        bch.LoadCodeword(words[i++ & 1023]);
        benchmark::DoNotOptimize(bch.BchCorrect());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BchCorrect)->Arg(0)->Arg(1)->Arg(2)->Arg(3);

}  // namespace
}  // namespace tolvane
