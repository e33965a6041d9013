#include "engine/input_runner.h"

#include <chrono>
#include <thread>

#include "engine/engine.h"
#include "engine/input_session.h"

namespace tolvane {

namespace {

bool Stopped(const RunOptions& options) {
    return options.stop != nullptr && options.stop->load(std::memory_order_relaxed);
}

}  // namespace

bool RunInput(Engine& engine, EdgeSource& source, const RunOptions& options, std::string& error) {
    InputSession session(engine);
    if (!session.Start(source, options.realtime)) {
        error = session.Error();
        return false;
    }
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
    while (session.State() == SessionState::Running) {
        if (Stopped(options)) {
            session.Stop();
            break;
        }
        if (options.realtime) {
            next += std::chrono::milliseconds(100);
            std::this_thread::sleep_until(next);
        }
        session.Poll();
        engine.ShowPendingMessages();
        // The ring ran dry inside this tick's share of recording.
        if (session.Starved()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    error = session.Error();
    return error.empty();
}

}  // namespace tolvane
