#include "receiver/source_thread.h"

#include <system_error>
#include <utility>

namespace tolvane {

namespace {

// Short enough for a prompt Detach, long enough not to spin.
constexpr auto kPollStep = std::chrono::milliseconds(2);
// Waiting for the receiver to drain: it drains a second of audio in well
// under a millisecond, and a recording is sliced as fast as it can be.
constexpr auto kDrainStep = std::chrono::microseconds(50);

}  // namespace

AttachStatus SourceThread::Start(std::function<void()> body) {
    Stop();
    {
        std::lock_guard lock(textMutex_);
        failure_.clear();
    }
    stop_ = false;
    finished_ = false;
    AttachStatus status;
    try {
        thread_ = std::thread([this, run = std::move(body)] {
            run();
            finished_.store(true, std::memory_order_release);
        });
    } catch (const std::system_error& e) {
        status.error = AttachError::OutOfMemory;
        status.detail = e.what();
    }
    return status;
}

void SourceThread::Stop(const std::function<void(std::thread&)>& wake) {
    stop_ = true;
    if (!thread_.joinable()) return;
    if (wake) {
        while (!Finished()) {
            wake(thread_);
            std::this_thread::sleep_for(kPollStep);
        }
    }
    thread_.join();
}

void SourceThread::Fail(std::string message) {
    std::lock_guard lock(textMutex_);
    failure_ = std::move(message);
}

std::string SourceThread::Failure() const {
    std::lock_guard lock(textMutex_);
    return failure_;
}

void SourceThread::Tell(std::string notice) {
    std::lock_guard lock(textMutex_);
    notices_.push_back(std::move(notice));
}

std::vector<std::string> SourceThread::TakeNotices() {
    std::lock_guard lock(textMutex_);
    return std::exchange(notices_, {});
}

bool SourceThread::PushWhenRoom(EdgeRing& ring, EdgeEntry entry) const {
    while (!ring.TryPush(entry)) {
        if (StopRequested()) return false;
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

bool SourceThread::WaitUntilDrained(const EdgeRing& ring, std::size_t entries) const {
    while (ring.Size() > entries) {
        if (StopRequested()) return false;
        std::this_thread::sleep_for(kDrainStep);
    }
    return true;
}

bool SourceThread::SleepUntil(std::chrono::steady_clock::time_point due) const {
    while (std::chrono::steady_clock::now() < due) {
        if (StopRequested()) return false;
        std::this_thread::sleep_for(kPollStep);
    }
    return !StopRequested();
}

}  // namespace tolvane
