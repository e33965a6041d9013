#include "engine/input_runner.h"

#include <chrono>
#include <thread>

#include "engine/engine.h"
#include "receiver/edge_source.h"

namespace tolvane {

namespace {

bool Stopped(const RunOptions& options) {
    return options.stop != nullptr && options.stop->load(std::memory_order_relaxed);
}

void RunPaced(Engine& engine, EdgeSource& source, const RunOptions& options) {
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
    while (!Stopped(options)) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        const bool finished = source.Finished();
        engine.Tick();
        if (finished && engine.Ring().Empty()) break;
    }
}

void RunAsFastAsPossible(Engine& engine, EdgeSource& source, const RunOptions& options) {
    double owed = 0;  // recorded ticks this timer tick still has to drain
    bool tickStarted = false;
    while (!Stopped(options)) {
        if (!tickStarted) {
            engine.TimerHooks();
            owed += kEdgeTicksPerTimerTick;
            tickStarted = true;
        }
        owed -= engine.DrainEdgeRing(owed);
        if (owed <= 0) {
            tickStarted = false;
            continue;
        }
        // The ring ran dry inside this tick's share of recording.
        if (source.Finished() && engine.Ring().Empty()) break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

}  // namespace

bool RunInput(Engine& engine, EdgeSource& source, const RunOptions& options, std::string& error) {
    const AttachStatus status = source.Attach(engine.Ring());
    if (!status.Ok()) {
        error = status.Describe();
        return false;
    }
    if (options.realtime) {
        RunPaced(engine, source, options);
    } else {
        RunAsFastAsPossible(engine, source, options);
    }
    source.Detach();
    error = source.RuntimeError();
    if (!Stopped(options)) engine.FinishInput();
    return error.empty();
}

}  // namespace tolvane
