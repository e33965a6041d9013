#include "engine/recording_clock.h"

#include <charconv>
#include <cstdio>

#include "engine/engine.h"
#include "receiver/edge_ring.h"

namespace tolvane {

std::int64_t RecordingClock::NowMilliseconds() const {
    if (samples_ == nullptr) return millis_;
    const double elapsed = static_cast<double>(samples_->Recovery().TicksProcessed()) * kTickSeconds * 1000.0;
    return startMillis_ + static_cast<std::int64_t>(elapsed);
}

LocalTime RecordingClock::Local() const { return LocalTimeOf(Now()); }

std::string RecordingClock::TimeOfDayText() const { return FormatLocalTime(Now(), "%X"); }

std::string RecordingClock::DateText() const { return FormatLocalTime(Now(), "%x"); }

namespace {

// A recording's time must stay a four-digit year in every time zone, and
// in milliseconds within 64 bits: 1970-01-01 to 9999-12-31, UTC.
constexpr long long kLatestStart = 253402214400;  // 9999-12-31 00:00:00 UTC

std::optional<std::time_t> InRange(long long seconds) {
    if (seconds < 0 || seconds > kLatestStart) return std::nullopt;
    return static_cast<std::time_t>(seconds);
}

}  // namespace

std::optional<std::time_t> ParseStartTime(std::string_view text) {
    if (!text.empty() && text[0] == '@') {
        long long seconds = 0;
        const char* end = text.data() + text.size();
        const auto [at, error] = std::from_chars(text.data() + 1, end, seconds);
        if (error != std::errc() || at != end || text.size() == 1) return std::nullopt;
        return InRange(seconds);
    }
    const std::string copy(text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char separator = 0;
    int used = 0;
    const int fields = std::sscanf(copy.c_str(), "%4d-%2d-%2d%c%2d:%2d%n:%2d%n", &year, &month, &day, &separator, &hour,
                                   &minute, &used, &second, &used);
    if (fields < 6 || (separator != ' ' && separator != 'T') || static_cast<std::size_t>(used) != copy.size()) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    // mktime moves 31 November to 1 December: such a date is refused.
    if (when == static_cast<std::time_t>(-1) || tm.tm_mday != day || tm.tm_mon != month - 1 || tm.tm_hour != hour ||
        tm.tm_min != minute || tm.tm_sec != second) {
        return std::nullopt;
    }
    return InRange(when);
}

}  // namespace tolvane
