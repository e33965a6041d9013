// Edges per second through the whole receiver chain (symbol recovery and
// all three decoders enabled), on idle noise: the cost a receiver pays
// while nothing is on the air.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/engine.h"
#include "tests/support/fake_world.h"

namespace tolvane {
namespace {

std::vector<EdgeEntry> NoiseEdges(std::size_t count) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> duration(80, 3000);
    std::vector<EdgeEntry> edges(count);
    for (std::size_t i = 0; i < count; ++i)
        edges[i] = {static_cast<std::uint16_t>(duration(rng)), static_cast<std::uint8_t>(i & 1 ? kLineDCD : 0)};
    return edges;
}

void BM_DrainIdleNoise(benchmark::State& state) {
    const std::vector<EdgeEntry> edges = NoiseEdges(4096);
    testing::TestRig rig;
    double seconds = 0;
    for (auto _ : state) {
        for (const EdgeEntry& e : edges) rig.engine->Ring().TryPush(e);
        rig.engine->DrainEdgeRing();
    }
    for (const EdgeEntry& e : edges) seconds += e.duration * kTickSeconds;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(edges.size()));
    state.counters["signal_s_per_s"] =
        benchmark::Counter(seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrainIdleNoise);

}  // namespace
}  // namespace tolvane
