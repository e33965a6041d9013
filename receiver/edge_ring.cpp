#include "receiver/edge_ring.h"

#include <bit>

namespace tolvane {

EdgeRing::EdgeRing(std::size_t capacity)
    : entries_(new EdgeEntry[std::bit_ceil(capacity < 2 ? std::size_t{2} : capacity)]),
      mask_(std::bit_ceil(capacity < 2 ? std::size_t{2} : capacity) - 1) {}

bool EdgeRing::TryPush(EdgeEntry entry) noexcept {
    const std::size_t write = writeIndex_.load(std::memory_order_relaxed);
    const std::size_t read = readIndex_.load(std::memory_order_acquire);
    if (write - read > mask_) return false;
    entries_[write & mask_] = entry;
    writeIndex_.store(write + 1, std::memory_order_release);
    return true;
}

bool EdgeRing::Push(EdgeEntry entry) noexcept {
    if (TryPush(entry)) return true;
    overruns_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

bool EdgeRing::Pop(EdgeEntry& entry) noexcept {
    const std::size_t read = readIndex_.load(std::memory_order_relaxed);
    const std::size_t write = writeIndex_.load(std::memory_order_acquire);
    if (read == write) return false;
    entry = entries_[read & mask_];
    readIndex_.store(read + 1, std::memory_order_release);
    return true;
}

bool EdgeRing::Empty() const noexcept {
    return readIndex_.load(std::memory_order_relaxed) == writeIndex_.load(std::memory_order_acquire);
}

std::size_t EdgeRing::Size() const noexcept {
    // The read index first: it never passes the write index read after it.
    const std::size_t read = readIndex_.load(std::memory_order_acquire);
    return writeIndex_.load(std::memory_order_acquire) - read;
}

}  // namespace tolvane
