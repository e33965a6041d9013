#include "monitor/stat_counters.h"

#include <gtest/gtest.h>

#include "world/outside_world.h"

namespace tolvane {
namespace {

class CountingListener : public TrafficListener {
public:
    void TrafficSeen() override { ++seen; }
    int seen = 0;
};

TEST(Statistics, EveryCountReachesHourAndDay) {
    Statistics stats;
    CountingListener listener;
    stats.listener = &listener;
    stats.CountNumericMessage(P1200);
    stats.CountNumericChars(P1200, 7);
    stats.CountAlphaMessage(GOLAY);
    stats.CountAlphaChars(GOLAY);
    stats.CountAlphaChars(GOLAY, 4);
    stats.NoteTraffic();
    // Categories outside the table are ignored, not written past it.
    stats.CountNumericMessage(kStatCategoryCount);
    stats.CountAlphaChars(-1, 5);

    StatCounters expected;
    expected.numericMsgs[P1200] = 1;
    expected.numericChars[P1200] = 7;
    expected.alphaMsgs[GOLAY] = 1;
    expected.alphaChars[GOLAY] = 5;
    EXPECT_EQ(stats.HourlyStats, expected);
    EXPECT_EQ(stats.DailyStats, expected);
    EXPECT_EQ(listener.seen, 4);  // messages and plain traffic, not characters

    stats.HourlyStats.Clear();
    EXPECT_EQ(stats.HourlyStats, StatCounters{});
    EXPECT_EQ(stats.DailyStats, expected);
}

TEST(DateFileName, TwoDigitYearMonthAbbreviationDay) {
    const std::pair<LocalTime, const char*> cases[] = {
        {{2000, 7, 15}, "00JUL15"}, {{2001, 1, 3}, "01JAN03"}, {{1999, 12, 31}, "99DEC31"},
        {{2026, 2, 1}, "26FEB01"},  {{2105, 11, 9}, "05NOV09"},
    };
    for (const auto& [date, name] : cases) EXPECT_EQ(DateFileName(date), name);
}

}  // namespace
}  // namespace tolvane
