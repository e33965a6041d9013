// Finishes replaced MQTT publishers off the caller's thread. Finishing
// delivers what is queued for a while and says "offline", which can take
// seconds against a silent broker: a window must not wait for that when
// its settings change, only (and for a bounded time) when it closes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/mqtt_publisher.h"

namespace tolvane {

class PublisherRetirement {
public:
    PublisherRetirement() = default;
    // Waits for nothing: a publisher still finishing is left to its thread.
    ~PublisherRetirement() = default;
    PublisherRetirement(const PublisherRetirement&) = delete;
    PublisherRetirement& operator=(const PublisherRetirement&) = delete;

    // Finishes `publisher` (delivering what it can within `wait`) on a
    // thread of its own and then destroys it.
    void Retire(std::unique_ptr<MqttPublisher> publisher, std::chrono::milliseconds wait);
    // Waits at most `limit` for every retired publisher to finish; true
    // when none is left.
    bool WaitAll(std::chrono::milliseconds limit);
    // The records the finished publishers dropped, each told once.
    std::uint64_t TakeDropped();

private:
    // Shared with the finishing threads, which may outlive this object.
    struct State {
        std::mutex mutex;
        std::condition_variable finished;
        int running = 0;
        std::uint64_t dropped = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tolvane
