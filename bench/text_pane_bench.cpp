// A new row in a full 100,000-row pane against one in an empty pane: the
// rows are a ring, so both cost one row's cells.
#include <benchmark/benchmark.h>

#include "display/text_pane.h"

namespace {

using tolvane::TextPane;

constexpr std::uint32_t kRows = 100000;
constexpr std::uint32_t kWidth = 80;

void NewRow(benchmark::State& state) {
    const bool full = state.range(0) != 0;
    TextPane pane;
    if (!pane.AllocatePaneBuffers(kRows, kWidth)) {
        state.SkipWithError("no memory for the pane");
        return;
    }
    pane.ClearPane();
    pane.SetVisibleRows(40);
    auto writeRow = [&pane] {
        for (std::uint32_t c = 0; c < 60; ++c) pane.PutCell('a', 7);
        pane.column = 60;
        pane.TerminateRow();
        pane.column = 0;
        ++pane.row;
        pane.AdvancePane();
    };
    if (full) {
        while (pane.row < kRows - 1) writeRow();
    }
    for (auto _ : state) {
        writeRow();
        // The empty pane stays nearly empty.
        if (!full && pane.row > 100) pane.row = 0;
        benchmark::DoNotOptimize(pane.CharsOfRow(pane.row));
    }
    state.SetLabel(full ? "full" : "empty");
}
BENCHMARK(NewRow)->Arg(0)->Arg(1);

}  // namespace
