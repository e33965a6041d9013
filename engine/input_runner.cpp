#include "engine/input_runner.h"

#include <algorithm>
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
    constexpr auto kFirstWait = std::chrono::microseconds(200);
    constexpr auto kLongestWait = std::chrono::milliseconds(20);
    auto next = Clock::now();
    auto wait = kFirstWait;
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
        // The ring ran dry inside this tick's share of recording. A source
        // that stays dry waits for its input (a FIFO without a writer yet, a
        // quiet pipe): the wait grows, so that waiting costs next to nothing.
        if (session.Starved()) {
            std::this_thread::sleep_for(wait);
            wait = std::min<std::chrono::microseconds>(wait * 2, kLongestWait);
        } else {
            wait = kFirstWait;
        }
    }
    error = session.Error();
    return error.empty();
}

}  // namespace tolvane
