#include "world/outside_world.h"

#include <cstdio>

namespace tolvane {

std::string DateFileName(const LocalTime& date) {
    static constexpr const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const int month = date.month >= 1 && date.month <= 12 ? date.month : 1;
    char text[32];
    std::snprintf(text, sizeof text, "%02d%s%02d", ((date.year % 100) + 100) % 100, kMonths[month - 1], date.day);
    return text;
}

}  // namespace tolvane
