#include "monitor/keep_alive.h"

#include <gtest/gtest.h>

#include "support/fake_world.h"

namespace tolvane {
namespace {

struct Range {
    int start, stop, timeout;
};

Settings WithRanges(std::initializer_list<Range> ranges) {
    Settings s;
    std::size_t r = 0;
    for (const Range& range : ranges) {
        s.KeepAliveStart[r] = range.start;
        s.KeepAliveStop[r] = range.stop;
        s.KeepAliveTimeout[r] = range.timeout;
        ++r;
    }
    return s;
}

// Hours h -> minutes m, all other hours 0.
KeepAliveTable Watched(std::initializer_list<std::pair<int, int>> hours) {
    KeepAliveTable t{};
    for (const auto& [h, m] : hours) t[static_cast<std::size_t>(h)] = m;
    return t;
}

struct TableCase {
    const char* name;
    Settings settings;
    KeepAliveTable expected;
};

class KeepAliveTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(KeepAliveTableTest, Builds) { EXPECT_EQ(BuildKeepAliveTable(GetParam().settings), GetParam().expected); }

std::string TableCaseName(const ::testing::TestParamInfo<TableCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Ranges, KeepAliveTableTest,
    ::testing::Values(
        // "10:00 pm" to "1:59 am", "5 minutes".
        TableCase{"OverMidnight", WithRanges({{23, 2, 5}}), Watched({{22, 5}, {23, 5}, {0, 5}, {1, 5}})},
        TableCase{"OneHour", WithRanges({{14, 14, 13}}), Watched({{13, 30}})},
        TableCase{"LaterRangeWins", WithRanges({{1, 4, 1}, {3, 3, 11}}), Watched({{0, 1}, {1, 1}, {2, 15}, {3, 1}})},
        TableCase{"DisabledTimeoutUnwatches", WithRanges({{1, 4, 1}, {2, 2, 0}}), Watched({{0, 1}, {2, 1}, {3, 1}})},
        TableCase{"AllDisabled", WithRanges({{0, 5, 3}, {5, 0, 3}, {0, 0, 0}}), Watched({})},
        TableCase{"StartOutOfRange", WithRanges({{25, 3, 5}, {-1, 3, 5}}), Watched({})},
        TableCase{"StopOutOfRange", WithRanges({{3, 99, 5}, {3, -4, 5}}), Watched({})},
        TableCase{"TimeoutOutOfRange", WithRanges({{1, 3, 2}, {2, 2, 14}, {3, 3, -2}}), Watched({{0, 2}})}),
    TableCaseName);

// A watch on fake parts, started at a chosen local time.
struct Watch {
    Watch(const Settings& s, LocalTime start) : settings(s) {
        clock.local = start;
        keepAlive.Start();
    }
    // Wall time passes in whole seconds, ten 100 ms ticks each.
    void Run(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.Advance(1);
            for (int t = 0; t < 10; ++t) keepAlive.KeepAliveTimerTick();
        }
    }
    std::size_t Alarms() const { return messages.messages.size(); }

    Settings settings;
    testing::FakeClock clock;
    testing::FakeSound sound;
    testing::FakeCommands commands;
    testing::FakeMessages messages;
    KeepAlive keepAlive{settings, clock, sound, commands, messages};
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
    ASSERT_EQ(w.Alarms(), 1u);
    EXPECT_EQ(w.messages.messages[0], "Keep Alive - OFF THE AIR!");
    ASSERT_EQ(w.commands.calls.size(), 1u);
    EXPECT_EQ(w.commands.calls[0].program, "/usr/local/bin/page-ops");
    EXPECT_EQ(w.commands.calls[0].args, (std::vector<std::string>{"-u", "critical", "Off air", "North Hub"}));
    EXPECT_TRUE(w.keepAlive.AlarmOn());

    w.Run(3);
    EXPECT_EQ(w.sound.played, std::vector<std::string>(3, "ALARM.WAV"));
    w.sound.playable = false;
    w.Run(2);
    EXPECT_EQ(w.sound.beeps, 2);

    // Traffic neither silences the alarm nor arms a second one.
    w.keepAlive.TrafficSeen();
    EXPECT_EQ(w.keepAlive.Deadline(), 0);
    EXPECT_TRUE(w.keepAlive.AlarmOn());

    w.keepAlive.AcknowledgeAlarm();
    EXPECT_EQ(w.keepAlive.Deadline(), w.clock.now + 600);
    w.Run(599);
    EXPECT_EQ(w.sound.played.size(), 5u);  // three played, two failed
    EXPECT_EQ(w.Alarms(), 1u);
    w.Run(1);
    EXPECT_EQ(w.Alarms(), 2u);
}

TEST(KeepAlive, HourChangeKeepsASamePeriodAndStartsANewOne) {
    struct Case {
        int hour14Timeout;     // timeout index for hour 14
        int alarmAfter;        // seconds after 14:00:00, or -1 for none within the hour
    };
    for (const Case c : {Case{5, 180}, Case{10, 600}, Case{0, -1}}) {
        Watch w(WithRanges({{14, 14, 5}, {15, 15, c.hour14Timeout}}), {2026, 12, 6, 13, 58, 0});
        w.Run(120);
        w.keepAlive.HourChanged(14);
        if (c.alarmAfter < 0) {
            w.Run(3599);
            EXPECT_EQ(w.Alarms(), 0u);
            continue;
        }
        w.Run(c.alarmAfter - 1);
        EXPECT_EQ(w.Alarms(), 0u) << c.hour14Timeout;
        w.Run(1);
        EXPECT_EQ(w.Alarms(), 1u) << c.hour14Timeout;
    }
}

TEST(KeepAlive, NoSecondAlarmWhileOneWaitsAndReconfigureSilences) {
    Watch w(WithRanges({{13, 13, 10}, {14, 14, 5}}), {2026, 12, 6, 12, 50, 0});
    w.Run(600);  // 13:00:00: alarm
    ASSERT_TRUE(w.keepAlive.AlarmOn());
    w.keepAlive.HourChanged(13);
    EXPECT_EQ(w.keepAlive.Deadline(), 0);
    w.Run(900);
    EXPECT_EQ(w.Alarms(), 1u);
    w.keepAlive.AcknowledgeAlarm();  // armed with hour 13's period
    EXPECT_EQ(w.keepAlive.Deadline(), w.clock.now + 300);

    w.Run(300);
    ASSERT_TRUE(w.keepAlive.AlarmOn());
    w.settings = WithRanges({});
    w.keepAlive.Reconfigure();
    EXPECT_FALSE(w.keepAlive.AlarmOn());
    EXPECT_EQ(w.keepAlive.Deadline(), 0);
    w.keepAlive.HourChanged(24);  // not an hour: ignored
    EXPECT_EQ(w.keepAlive.CurrentHour(), 13);
}

// Through the engine, unattended: decoded pages re-arm, alarms are
// acknowledged at once, and the clock check (after the deadline test in the
// same tick) moves the watch to the new hour.
TEST(KeepAliveEngine, TrafficAndHourChangeUnattended) {
    testing::TestRig rig(WithRanges({{13, 13, 10}, {14, 14, 13}}));  // from 12:00:00; 12: 10 min, 13: 30 min
    rig.engine->Watch().SetAutoAcknowledge(true);
    auto runTo = [&rig](int secondsAfterNoon) {
        while (rig.clock.now < 1'000'000'000 + secondsAfterNoon) {
            rig.clock.Advance(1);
            for (int t = 0; t < 10; ++t) rig.engine->TimerHooks();
            rig.engine->ShowPendingMessages();  // after the ticks, as a client does
        }
    };
    runTo(540);
    rig.engine->Stats().CountNumericMessage(P1200);  // 12:09
    runTo(1080);
    rig.engine->Stats().NoteTraffic();  // 12:18
    runTo(1679);
    EXPECT_TRUE(rig.messages.messages.empty());
    runTo(1680);  // alarms at 12:28, 12:38, 12:48, 12:58
    EXPECT_EQ(rig.messages.messages.size(), 1u);
    runTo(3600 + 30 * 60 - 1);  // 13:00 starts a 30-minute period
    EXPECT_EQ(rig.messages.messages.size(), 4u);
    runTo(3600 + 30 * 60);
    EXPECT_EQ(rig.messages.messages.size(), 5u);
    EXPECT_FALSE(rig.engine->Watch().AlarmOn());
    EXPECT_TRUE(rig.sound.played.empty());
}

}  // namespace
}  // namespace tolvane
