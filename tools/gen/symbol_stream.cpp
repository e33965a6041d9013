#include "tools/gen/symbol_stream.h"

#include "receiver/edge_codec.h"

#include <algorithm>
#include <cmath>

namespace tolvane::gen {

void AppendSymbols(SymbolStream& stream, std::uint8_t symbol, double rate, int count) {
    for (int i = 0; i < count; ++i) stream.push_back({symbol, 1.0 / rate});
}

void AppendSilence(SymbolStream& stream, std::uint8_t symbol, double seconds) {
    if (seconds > 0) stream.push_back({symbol, seconds});
}

SymbolStream StreamFrom(const SymbolStream& stream, double seconds) {
    SymbolStream rest;
    double start = 0;
    for (const TimedSymbol& s : stream) {
        const double end = start + s.seconds;
        if (end > seconds) rest.push_back({s.symbol, end - std::max(start, seconds)});
        start = end;
    }
    return rest;
}

std::uint8_t SymbolLineState(std::uint8_t symbol, int levels) {
    if (levels == 4) {
        static constexpr std::uint8_t kStates[4] = {0, kLineCTS, kLineCTS | kLineDSR, kLineCTS | kLineDSR | kLineDCD};
        return kStates[symbol & 3];
    }
    return symbol >= 2 ? kLineDCD : 0;
}

std::vector<EdgeEntry> SymbolsToEdges(const SymbolStream& stream, const ChannelOptions& options) {
    std::mt19937 rng(options.seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double scale = 1.0 / (1.0 + options.rateError);

    std::vector<EdgeEntry> edges;
    edges.reserve(stream.size());
    double now = 0;             // ideal time of the current symbol's start, seconds
    double lastEdgeTicks = 0;   // where the pending run began, ticks
    std::uint8_t runState = 0;
    bool haveRun = false;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        std::uint8_t symbol = stream[i].symbol & 3;
        if (options.invert) symbol ^= 3;
        const std::uint8_t state = SymbolLineState(symbol, options.levels);
        if (!haveRun) {
            runState = state;
            haveRun = true;
        } else if (state != runState) {
            double edgeSeconds = now;
            if (options.jitter > 0) {
                const double span = std::min(stream[i].seconds, stream[i - 1].seconds) * scale;
                edgeSeconds += unit(rng) * options.jitter * span;
            }
            const double edgeTicks = std::max(lastEdgeTicks, std::round(edgeSeconds / kTickSeconds));
            AppendRun(edges, static_cast<std::uint64_t>(edgeTicks - lastEdgeTicks), runState);
            lastEdgeTicks = edgeTicks;
            runState = state;
        }
        now += stream[i].seconds * scale;
    }
    if (haveRun) {
        const double endTicks = std::round(now / kTickSeconds);
        if (endTicks > lastEdgeTicks) AppendRun(edges, static_cast<std::uint64_t>(endTicks - lastEdgeTicks), runState);
    }
    return edges;
}

std::uint32_t FlipRandomBits(std::uint32_t word, int count, std::mt19937& rng, int width) {
    std::vector<int> positions(static_cast<std::size_t>(width));
    for (int i = 0; i < width; ++i) positions[static_cast<std::size_t>(i)] = i;
    std::shuffle(positions.begin(), positions.end(), rng);
    for (int i = 0; i < count && i < width; ++i) word ^= 1u << positions[static_cast<std::size_t>(i)];
    return word;
}

}  // namespace tolvane::gen
