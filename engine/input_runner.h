// Runs an engine on an input source until the source ends (or a stop flag
// is raised). Recorded input is processed as fast as possible unless
// paced; either way the engine's 100 ms ticks follow the recording's own
// time, so every timed behaviour is the same as live.
#pragma once

#include <atomic>
#include <string>

namespace tolvane {

class Engine;
class EdgeSource;

struct RunOptions {
    // Wall-clock ticks (live input, or --realtime replay): each tick drains
    // whatever has arrived. Otherwise each tick drains 100 ms of recording.
    bool realtime = false;
    const std::atomic<bool>* stop = nullptr;
};

// Attaches the source, runs until it is finished and drained, detaches.
// Returns false with a one-line message when the source cannot be attached
// or fails while running.
bool RunInput(Engine& engine, EdgeSource& source, const RunOptions& options, std::string& error);

}  // namespace tolvane
