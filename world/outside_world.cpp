#include "world/outside_world.h"

#include <cstdio>
#include <ctime>

namespace tolvane {

std::string DateFileName(const LocalTime& date) {
    static constexpr const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const int month = date.month >= 1 && date.month <= 12 ? date.month : 1;
    char text[32];
    std::snprintf(text, sizeof text, "%02d%s%02d", ((date.year % 100) + 100) % 100, kMonths[month - 1], date.day);
    return text;
}

LocalTime LocalTimeOf(std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string FormatLocalTime(std::time_t when, const char* format) {
    std::tm tm{};
    localtime_r(&when, &tm);
    char text[41];
    const std::size_t n = std::strftime(text, sizeof text, format, &tm);
    return std::string(text, n);
}

int UtcOffsetMinutesAt(std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    return static_cast<int>(tm.tm_gmtoff / 60);
}

}  // namespace tolvane
