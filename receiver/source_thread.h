// The thread behind an edge source, written once for all of them: started
// on attach, asked to stop and joined on detach, with the two things the
// tick reads from it: that no more entries will come, and why the input
// failed if it did. The source keeps its own reading code; the ring stays
// the only channel for the entries themselves.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "receiver/edge_ring.h"
#include "receiver/edge_source.h"

namespace tolvane {

class SourceThread {
public:
    SourceThread() = default;
    ~SourceThread() { Stop(); }
    SourceThread(const SourceThread&) = delete;
    SourceThread& operator=(const SourceThread&) = delete;

    // Runs `body` on a new thread; when it returns the source is finished.
    // Clears the last failure. OutOfMemory when no thread can be made.
    AttachStatus Start(std::function<void()> body);
    // Raises the stop flag without waiting for the body.
    void RequestStop() { stop_ = true; }
    // Raises the stop flag and joins. A body that can block in a system
    // call is woken by `wake`, repeated until the body has returned (a wake
    // may come just before it starts waiting again).
    void Stop(const std::function<void(std::thread&)>& wake = nullptr);

    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }
    const std::atomic<bool>& StopFlag() const { return stop_; }
    bool Finished() const { return finished_.load(std::memory_order_acquire); }

    // From the body, once, as it ends: why the input failed.
    void Fail(std::string message);
    std::string Failure() const;
    // From the body: something the user should know that did not stop the
    // input (damaged audio skipped). Taken by the tick's side, oldest first.
    void Tell(std::string notice);
    std::vector<std::string> TakeNotices();

    // For bodies that may wait (recordings): false when asked to stop first.
    bool PushWhenRoom(EdgeRing& ring, EdgeEntry entry) const;
    // Waits until the ring holds at most `entries`.
    bool WaitUntilDrained(const EdgeRing& ring, std::size_t entries) const;
    bool SleepUntil(std::chrono::steady_clock::time_point due) const;

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex textMutex_;  // guards failure_ and notices_
    std::string failure_;
    std::vector<std::string> notices_;
};

}  // namespace tolvane
