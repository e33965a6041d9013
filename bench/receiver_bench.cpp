// Edges per second through the whole receiver chain: DrainEdgeRing with
// symbol recovery and all three decoders enabled, fed in 100 ms ticks the
// way the timer feeds it. Idle noise is what a receiver pays while nothing
// is on the air; the traffic cases are what it pays at full load, built
// with the test-signal encoders. Each traffic case checks that its pages
// were actually decoded, so a broken decoder cannot look fast.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/fake_world.h"
#include "tools/gen/flex_encoder.h"
#include "tools/gen/gsc_encoder.h"
#include "tools/gen/page_description.h"
#include "tools/gen/pocsag_encoder.h"
#include "tools/gen/symbol_stream.h"

namespace tolvane {
namespace {

struct Load {
    std::vector<EdgeEntry> edges;
    double seconds = 0;     // of signal
    std::size_t pages = 0;  // sent
};

double Seconds(const std::vector<EdgeEntry>& edges) {
    double ticks = 0;
    for (const EdgeEntry& e : edges) ticks += e.duration;
    return ticks * kTickSeconds;
}

Load NoiseLoad(std::size_t count) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> duration(80, 3000);
    Load load;
    load.edges.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        load.edges[i] = {static_cast<std::uint16_t>(duration(rng)), static_cast<std::uint8_t>(i & 1 ? kLineDCD : 0)};
    load.seconds = Seconds(load.edges);
    return load;
}

gen::PageDescription Page(const char* protocol, const char* rate, std::string capcode, int function, gen::PageKind kind,
                   std::string text) {
    gen::PageDescription page;
    page.protocol = protocol;
    page.rate = rate;
    page.capcode = std::move(capcode);
    page.function = function;
    page.kind = kind;
    page.text = std::move(text);
    return page;
}

// A mix of alphanumeric and numeric pages of typical lengths.
std::vector<gen::PageDescription> TrafficPages(const char* protocol, const char* rate, int count, std::uint32_t firstCapcode) {
    std::vector<gen::PageDescription> pages;
    for (int i = 0; i < count; ++i) {
        const std::string capcode = std::to_string(firstCapcode + static_cast<std::uint32_t>(i) * 37);
        if (i % 3 == 2)
            pages.push_back(Page(protocol, rate, capcode, 0, gen::PageKind::Numeric, "0123 456-789 " + std::to_string(i)));
        else
            pages.push_back(Page(protocol, rate, capcode, std::string(protocol) == "pocsag" ? i % 4 : 0,
                                 gen::PageKind::Alpha,
                                 "TRAFFIC " + std::to_string(i) + " UNIT 7 RESPOND TO STATION 12, GATE B"));
    }
    return pages;
}

Load TrafficLoad(gen::PageEncoder encode, const std::vector<gen::PageDescription>& pages, int levels, std::string& error) {
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, 0.3);
    if (!encode(pages, gen::EncodeOptions{}, stream, error)) return {};
    gen::AppendSilence(stream, 0, 0.3);
    gen::ChannelOptions channel;
    channel.levels = levels;
    channel.jitter = 0.05;  // real edges are never on the exact tick
    Load load;
    load.edges = gen::SymbolsToEdges(stream, channel);
    load.seconds = Seconds(load.edges);
    load.pages = pages.size();
    return load;
}

// Feeds one pass of the load in 100 ms ticks of recorded time.
void FeedTicks(Engine& engine, const std::vector<EdgeEntry>& edges) {
    double owed = 0;
    std::size_t next = 0;
    while (next < edges.size()) {
        engine.TimerHooks();
        owed += kEdgeTicksPerTimerTick;
        while (next < edges.size() && owed > 0 && engine.Ring().TryPush(edges[next])) {
            owed -= edges[next].duration;
            ++next;
        }
        engine.DrainEdgeRing();
    }
}

void RunLoad(benchmark::State& state, const Load& load, const Settings& settings, const std::string& error = {}) {
    if (load.edges.empty()) {
        state.SkipWithError(("the traffic could not be encoded: " + error).c_str());
        return;
    }
    testing::TestRig rig(settings);
    // One untimed pass: the pages must come out, or the figure means nothing.
    FeedTicks(*rig.engine, load.edges);
    const std::size_t decoded = rig.messageLines.size();
    if (load.pages > 0 && decoded < load.pages) {
        state.SkipWithError(("only " + std::to_string(decoded) + " of " + std::to_string(load.pages) +
                             " pages decoded")
                                .c_str());
        return;
    }
    for (auto _ : state) FeedTicks(*rig.engine, load.edges);
    const auto passes = static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(load.edges.size()));
    state.counters["signal_s_per_s"] = benchmark::Counter(load.seconds * passes, benchmark::Counter::kIsRate);
    state.counters["signal_s"] = load.seconds;
    if (load.pages > 0)
        state.counters["pages_per_s"] =
            benchmark::Counter(static_cast<double>(load.pages) * passes, benchmark::Counter::kIsRate);
}

void BM_DrainIdleNoise(benchmark::State& state) { RunLoad(state, NoiseLoad(4096), Settings()); }
BENCHMARK(BM_DrainIdleNoise);

void BM_DrainPocsag(benchmark::State& state) {
    const char* rate = state.range(0) == 512 ? "512" : state.range(0) == 1200 ? "1200" : "2400";
    std::string error;
    const Load load = TrafficLoad(gen::EncodePocsagPages, TrafficPages("pocsag", rate, 12, 1200000), 2, error);
    RunLoad(state, load, Settings(), error);
}
BENCHMARK(BM_DrainPocsag)->Arg(512)->Arg(1200)->Arg(2400);

void BM_DrainFlex6400(benchmark::State& state) {
    std::string error;
    const Load load = TrafficLoad(gen::EncodeFlexPages, TrafficPages("flex", "6400/4", 16, 1100000), 4, error);
    Settings settings;
    settings.FourLevelInterface = 1;
    RunLoad(state, load, settings, error);
}
BENCHMARK(BM_DrainFlex6400);

void BM_DrainGsc(benchmark::State& state) {
    // GSC capcodes fix the preamble; one shared preamble keeps it one transmission.
    std::vector<gen::PageDescription> pages;
    for (int i = 0; i < 6; ++i) {
        const std::string capcode = std::to_string(500000 + i * 1000);
        pages.push_back(i % 2 ? Page("gsc", "600", capcode, 0, gen::PageKind::Numeric, "5551234 " + std::to_string(i))
                              : Page("gsc", "600", capcode, 1, gen::PageKind::Alpha, "CALL DESK " + std::to_string(i)));
    }
    std::string error;
    const Load load = TrafficLoad(gen::EncodeGscPages, pages, 2, error);
    RunLoad(state, load, Settings(), error);
}
BENCHMARK(BM_DrainGsc);

}  // namespace
}  // namespace tolvane
