// The engine's clock while a recording is decoded: the recording's own
// time, from the moment its first sample was taken. Once it follows the
// engine's symbol recovery it is the position of the sample being decoded,
// to the millisecond (of its first receiver); before that it moves on by 100 ms at every engine
// timer tick (each of which covers 100 ms of recording). Statistics hours,
// keep-alive periods and page timestamps then fall where they fell on the
// air, however fast the recording is decoded.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "world/outside_world.h"

namespace tolvane {

class Engine;

class RecordingClock : public WallClock {
public:
    explicit RecordingClock(std::time_t start)
        : startMillis_(static_cast<std::int64_t>(start) * 1000), millis_(startMillis_) {}

    // Takes the time from how much of the recording the engine has
    // processed (whichever receivers it runs).
    void FollowSamples(const Engine& engine) { samples_ = &engine; }

    void TimerTick() override { millis_ += 100; }

    std::time_t Now() const override { return static_cast<std::time_t>(FloorDiv(NowMilliseconds(), 1000)); }
    std::int64_t NowMilliseconds() const override;
    // The local zone's offset at the recording's time, as the system clock's.
    int UtcOffsetMinutes() const override { return UtcOffsetMinutesAt(Now()); }
    LocalTime Local() const override;
    // strftime %X and %x under the user's LC_TIME, like the system clock.
    std::string TimeOfDayText() const override;
    std::string DateText() const override;

private:
    static std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

    std::int64_t startMillis_;
    std::int64_t millis_;
    const Engine* samples_ = nullptr;
};

// The clock of an engine whose input can change between a recording and
// live input: it reads whichever clock is in use.
class ClockSwitch : public WallClock {
public:
    explicit ClockSwitch(WallClock& clock) : clock_(&clock) {}
    void Use(WallClock& clock) { clock_ = &clock; }

    void TimerTick() override { clock_->TimerTick(); }
    std::time_t Now() const override { return clock_->Now(); }
    LocalTime Local() const override { return clock_->Local(); }
    std::string TimeOfDayText() const override { return clock_->TimeOfDayText(); }
    std::string DateText() const override { return clock_->DateText(); }
    std::int64_t NowMilliseconds() const override { return clock_->NowMilliseconds(); }
    int UtcOffsetMinutes() const override { return clock_->UtcOffsetMinutes(); }

private:
    WallClock* clock_;
};

// A local date and time "YYYY-MM-DD HH:MM[:SS]" (or with 'T' between), or
// "@SECONDS" since 1970; nothing if the text is none of these or the time
// lies before 1970 or after 9999.
std::optional<std::time_t> ParseStartTime(std::string_view text);

}  // namespace tolvane
