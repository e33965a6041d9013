#include "platform/publisher_retirement.h"

#include <thread>
#include <utility>

namespace tolvane {

void PublisherRetirement::Retire(std::unique_ptr<MqttPublisher> publisher, std::chrono::milliseconds wait) {
    if (!publisher) return;
    {
        std::lock_guard lock(state_->mutex);
        ++state_->running;
    }
    std::thread([state = state_, publisher = std::move(publisher), wait]() mutable {
        publisher->Finish(wait);
        const std::uint64_t dropped = publisher->TakeDropped();
        publisher.reset();
        std::lock_guard lock(state->mutex);
        state->dropped += dropped;
        --state->running;
        state->finished.notify_all();
    }).detach();
}

bool PublisherRetirement::WaitAll(std::chrono::milliseconds limit) {
    std::unique_lock lock(state_->mutex);
    return state_->finished.wait_for(lock, limit, [this] { return state_->running == 0; });
}

std::uint64_t PublisherRetirement::TakeDropped() {
    std::lock_guard lock(state_->mutex);
    return std::exchange(state_->dropped, 0);
}

}  // namespace tolvane
