// The edge ring: (duration, line state) entries from an input source thread
// to the tick that drains them. One producer, one consumer, no locks.
//
// Durations are in ticks of 838.8 ns. Bits 4..7 of the line state are the
// modem-status lines during that interval: bit 4 CTS, 5 DSR, 6 RI, 7 DCD.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tolvane {

inline constexpr double kTickSeconds = 838.8e-9;
// One 100 ms timer tick expressed in edge ticks.
inline constexpr double kEdgeTicksPerTimerTick = 0.1 / kTickSeconds;

inline constexpr std::uint8_t kLineCTS = 0x10;
inline constexpr std::uint8_t kLineDSR = 0x20;
inline constexpr std::uint8_t kLineRI = 0x40;
inline constexpr std::uint8_t kLineDCD = 0x80;
// Bits 0..3 are 0 but from the audio slicer, which may set bit 3 and put a
// second decision in bits 0..1: for 4 levels made on a longer average (the
// level 0..3), for 2 levels on a shorter one (0 or 3).
inline constexpr std::uint8_t kLineSlowDecision = 0x08;

// A recording whose receiver may still ask for the second decision is
// sliced at most this many entries ahead of it (about half a second of FLEX
// 3200/2), so that the frame after the one that asks gets it however the
// threads are scheduled.
inline constexpr std::size_t kSecondDecisionLead = 1024;

struct EdgeEntry {
    std::uint16_t duration = 0;
    std::uint8_t lineState = 0;
};

class EdgeRing {
public:
    // capacity is rounded up to a power of two.
    explicit EdgeRing(std::size_t capacity = 1u << 16);

    EdgeRing(const EdgeRing&) = delete;
    EdgeRing& operator=(const EdgeRing&) = delete;

    // Producer side. Push is for live sources: a full ring loses the entry
    // and counts an overrun. TryPush is for sources that can wait.
    bool Push(EdgeEntry entry) noexcept;
    bool TryPush(EdgeEntry entry) noexcept;

    // Consumer side.
    bool Pop(EdgeEntry& entry) noexcept;
    bool Empty() const noexcept;
    // Entries pushed and not yet popped.
    std::size_t Size() const noexcept;
    // Entries Push has lost so far.
    std::uint64_t Overruns() const noexcept { return overruns_.load(std::memory_order_relaxed); }

    // The one way back, consumer to producer: the receiver has heard FLEX
    // 3200/2, which the audio slicer reads better with its second 2-level
    // decision. The producer clears it when it attaches to the ring.
    void RequestSecondDecision() noexcept { secondDecision_.store(true, std::memory_order_relaxed); }
    bool SecondDecisionRequested() const noexcept { return secondDecision_.load(std::memory_order_relaxed); }
    void ClearSecondDecision() noexcept { secondDecision_.store(false, std::memory_order_relaxed); }

private:
    std::unique_ptr<EdgeEntry[]> entries_;
    std::size_t mask_;
    alignas(64) std::atomic<std::size_t> writeIndex_{0};
    alignas(64) std::atomic<std::size_t> readIndex_{0};
    std::atomic<std::uint64_t> overruns_{0};
    std::atomic<bool> secondDecision_{false};
};

}  // namespace tolvane
