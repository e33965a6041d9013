// The keep-alive watch: which hours are watched for how long, when the
// alarm sounds, and what re-arms or silences it.
#include "monitor/keep_alive.h"

#include <gtest/gtest.h>

#include "support/fake_world.h"

namespace tolvane {
namespace {

// Up to three ranges of {start, stop, timeout code}.
Settings WithRanges(std::initializer_list<std::array<int, 3>> ranges) {
    Settings s;
    std::size_t r = 0;
    for (const auto& [start, stop, timeout] : ranges) {
        s.KeepAliveStart[r] = start;
        s.KeepAliveStop[r] = stop;
        s.KeepAliveTimeout[r++] = timeout;
    }
    return s;
}

TEST(KeepAliveTable, Ranges) {
    const std::tuple<const char*, Settings, std::vector<std::pair<int, int>>> cases[] = {
        // "10:00 pm" to "1:59 am", "5 minutes": hour -> minutes, other hours 0.
        {"over midnight", WithRanges({{23, 2, 5}}), {{22, 5}, {23, 5}, {0, 5}, {1, 5}}},
        {"one hour", WithRanges({{14, 14, 13}}), {{13, 30}}},
        {"later range wins", WithRanges({{1, 4, 1}, {3, 3, 11}}), {{0, 1}, {1, 1}, {2, 15}, {3, 1}}},
        {"disabled timeout unwatches", WithRanges({{1, 4, 1}, {2, 2, 0}}), {{0, 1}, {2, 1}, {3, 1}}},
        {"all disabled", WithRanges({{0, 5, 3}, {5, 0, 3}, {0, 0, 0}}), {}},
        {"start out of range", WithRanges({{25, 3, 5}, {-1, 3, 5}}), {}},
        {"stop out of range", WithRanges({{3, 99, 5}, {3, -4, 5}}), {}},
        {"timeout out of range", WithRanges({{1, 3, 2}, {2, 2, 14}, {3, 3, -2}}), {{0, 2}}},
    };
    for (const auto& [name, settings, hours] : cases) {
        KeepAliveTable expected{};
        for (const auto& [h, m] : hours) expected[static_cast<std::size_t>(h)] = m;
        EXPECT_EQ(BuildKeepAliveTable(settings), expected) << name;
    }
}

// An engine on fake parts, started at a chosen local time; its clock check
// tells the watch of each new hour.
struct Watch : testing::TestRig {
    Watch(const Settings& s, LocalTime start) : TestRig(s, [&](TestRig& rig) { rig.clock.local = start; }) {}
    KeepAlive& watch() { return engine->Watch(); }
    std::size_t Alarms() const { return messages.messages.size(); }
};

TEST(KeepAlive, FirstAlarmAfterStartUpSoundsUntilAcknowledged) {
    Settings s = WithRanges({{13, 13, 10}});  // hour 12, 10 minutes
    s.KeepAliveCmdFileEnabled = 1;
    s.KeepAliveCmdFile = "/usr/local/bin/page-ops";
    s.KeepAliveCmdArgs = R"(-u critical "Off air" 'North Hub')";
    Watch w(s, {2026, 12, 6, 12, 0, 0});
    w.Run(599);
    EXPECT_EQ(w.Alarms(), 0u);
    w.Run(1);
    EXPECT_EQ(w.messages.messages, std::vector<std::string>{"Keep Alive - OFF THE AIR!"});
    ASSERT_EQ(w.commands.calls.size(), 1u);
    EXPECT_EQ(w.commands.calls[0].program, "/usr/local/bin/page-ops");
    EXPECT_EQ(w.commands.calls[0].args, (std::vector<std::string>{"-u", "critical", "Off air", "North Hub"}));
    w.Run(3);
    EXPECT_EQ(w.sound.played, std::vector<std::string>(3, "ALARM.WAV"));
    w.sound.playable = false;
    w.Run(2);
    EXPECT_EQ(w.sound.beeps, 2);
    // Traffic neither silences the alarm nor arms a second one.
    w.watch().TrafficSeen();
    EXPECT_EQ(w.watch().Deadline(), 0);
    EXPECT_TRUE(w.watch().AlarmOn());
    w.watch().AcknowledgeAlarm();
    EXPECT_EQ(w.watch().Deadline(), w.clock.now + 600);
    w.Run(599);
    EXPECT_EQ(w.sound.played.size(), 5u);  // three played, two failed
    EXPECT_EQ(w.Alarms(), 1u);
    w.Run(1);
    EXPECT_EQ(w.Alarms(), 2u);
}

// A new hour with the same period keeps the running deadline; another
// period starts afresh; an unwatched hour sounds nothing.
TEST(KeepAlive, HourChangeKeepsASamePeriodAndStartsANewOne) {
    for (const auto& [hour14Timeout, alarmAfter] : {std::pair{5, 180}, {10, 600}, {0, 3600}}) {
        SCOPED_TRACE(hour14Timeout);
        Watch w(WithRanges({{14, 14, 5}, {15, 15, hour14Timeout}}), {2026, 12, 6, 13, 58, 0});
        w.Run(120 + alarmAfter - 1);  // the new hour at 14:00
        EXPECT_EQ(w.Alarms(), 0u);
        w.Run(1);
        EXPECT_EQ(w.Alarms(), hour14Timeout == 0 ? 0u : 1u);
    }
}

TEST(KeepAlive, NoSecondAlarmWhileOneWaitsAndReconfigureSilences) {
    Watch w(WithRanges({{13, 13, 10}, {14, 14, 5}}), {2026, 12, 6, 12, 50, 0});
    w.Run(600);  // 13:00:00: the alarm, then the new hour
    ASSERT_TRUE(w.watch().AlarmOn());
    EXPECT_EQ(w.watch().Deadline(), 0);
    w.Run(900);
    EXPECT_EQ(w.Alarms(), 1u);
    w.watch().AcknowledgeAlarm();  // armed with hour 13's period
    EXPECT_EQ(w.watch().Deadline(), w.clock.now + 300);
    w.Run(300);
    ASSERT_TRUE(w.watch().AlarmOn());
    w.engine->ApplySettings(WithRanges({}));
    EXPECT_FALSE(w.watch().AlarmOn());
    EXPECT_EQ(w.watch().Deadline(), 0);
    w.watch().HourChanged(24);  // not an hour: ignored
    EXPECT_EQ(w.watch().CurrentHour(), 13);
}

// Through the engine, unattended: decoded pages re-arm, alarms are
// acknowledged at once, and the clock check (after the deadline test in the
// same tick) moves the watch to the new hour.
TEST(KeepAliveEngine, TrafficAndHourChangeUnattended) {
    testing::TestRig rig(WithRanges({{13, 13, 10}, {14, 14, 13}}));  // from 12:00:00; 12: 10 min, 13: 30 min
    rig.engine->Watch().SetAutoAcknowledge(true);
    rig.Run(540);
    rig.engine->Stats().CountNumericMessage(P1200);  // 12:09
    rig.Run(540);
    rig.engine->Stats().NoteTraffic();  // 12:18
    rig.Run(599);
    EXPECT_TRUE(rig.messages.messages.empty());
    rig.Run(1);  // alarms at 12:28, 12:38, 12:48, 12:58
    EXPECT_EQ(rig.messages.messages.size(), 1u);
    rig.Run(3600 + 30 * 60 - 1 - 1680);  // 13:00 starts a 30-minute period
    EXPECT_EQ(rig.messages.messages.size(), 4u);
    rig.Run(1);
    EXPECT_EQ(rig.messages.messages.size(), 5u);
    EXPECT_FALSE(rig.engine->Watch().AlarmOn());
    EXPECT_TRUE(rig.sound.played.empty());
}

}  // namespace
}  // namespace tolvane
