// The monitor: the keep-alive watch (which hours are watched for how long,
// when the alarm sounds, what re-arms or silences it) and the hourly and
// daily statistics (counting, the reports written at the hour and at
// midnight, date-named files).
#include <gtest/gtest.h>

#include "monitor/keep_alive.h"
#include "monitor/stat_reports.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

// An engine on fake parts, started at a chosen local time, some files
// perhaps unopenable; its clock check tells the watch and the statistics of
// each new hour.
struct Station : testing::TestRig {
    Station(const LocalTime& start, const Settings& settings, std::vector<std::string> unopenable = {})
        : TestRig(settings, [&](TestRig& rig) {
              rig.clock.local = start;
              rig.files.unopenable = unopenable;
          }) {}
    KeepAlive& watch() { return engine->Watch(); }
    Statistics& Stats() { return engine->Stats(); }
    std::size_t Alarms() const { return messages.messages.size(); }
};

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

TEST(KeepAlive, FirstAlarmAfterStartUpSoundsUntilAcknowledged) {
    Settings s = WithRanges({{13, 13, 10}, {14, 14, 5}});  // hour 12, 10 minutes; hour 13, 5
    s.KeepAliveCmdFileEnabled = 1;
    s.KeepAliveCmdFile = "/usr/local/bin/page-ops";
    s.KeepAliveCmdArgs = R"(-u critical "Off air" 'North Hub')";
    Station w({2026, 12, 6, 12, 0, 0}, s);
    w.Run(599);
    EXPECT_EQ(w.Alarms(), 0u);
    w.Run(1);
    EXPECT_EQ(w.messages.messages, std::vector<std::string>{"Keep Alive - OFF THE AIR!"});
    using Call = testing::FakeCommands::Call;
    EXPECT_EQ(w.commands.calls, (std::vector<Call>{{"/usr/local/bin/page-ops", {"-u", "critical", "Off air", "North Hub"}}}));
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
    // No second alarm while one waits, not even across a new hour (13:00);
    // acknowledged, the watch arms with the new hour's period.
    w.Run(2400);
    EXPECT_EQ(std::tuple(w.Alarms(), w.watch().Deadline(), w.watch().CurrentHour()), std::tuple(2u, 0, 13));
    w.watch().AcknowledgeAlarm();
    EXPECT_EQ(w.watch().Deadline(), w.clock.now + 300);
    w.Run(300);
    EXPECT_EQ(w.Alarms(), 3u);
    // New settings silence it; an hour that is not one is ignored.
    w.engine->ApplySettings(WithRanges({}));
    EXPECT_FALSE(w.watch().AlarmOn());
    EXPECT_EQ(w.watch().Deadline(), 0);
    w.watch().HourChanged(24);
    EXPECT_EQ(w.watch().CurrentHour(), 13);
}

// A new hour with the same period keeps the running deadline; another
// period starts afresh; an unwatched hour sounds nothing.
TEST(KeepAlive, HourChangeKeepsASamePeriodAndStartsANewOne) {
    for (const auto& [hour14Timeout, alarmAfter] : {std::pair{5, 180}, {10, 600}, {0, 3600}}) {
        SCOPED_TRACE(hour14Timeout);
        Station w({2026, 12, 6, 13, 58, 0}, WithRanges({{14, 14, 5}, {15, 15, hour14Timeout}}));
        w.Run(120 + alarmAfter - 1);  // the new hour at 14:00
        EXPECT_EQ(w.Alarms(), 0u);
        w.Run(1);
        EXPECT_EQ(w.Alarms(), hour14Timeout == 0 ? 0u : 1u);
    }
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

// From 23:20:05 to past one in the morning, with date-named files: counts
// (and some for categories outside the table, which are ignored), the
// hourly block and row at midnight followed by the daily block, new files
// for the new day (the log too), the next hour's own label and no second
// header, and a clock set back an hour taken as an hour change. Every file
// written is compared with tests/data/stat_reports.txt.
TEST(StatReports, HoursAndMidnightAgainstTheGolden) {
    Settings s;
    s.StatFileEnabled = s.StatFileUseDate = 1;
    s.StatCSVFileEnabled = s.StatCSVFileUseDate = 1;
    s.LogFileEnabled = s.LogFileUseDate = 1;
    Station st({2026, 12, 6, 23, 20, 5}, s);
    for (int i = 0; i < 3; ++i) st.Stats().CountNumericMessage(P1200);
    st.Stats().CountNumericChars(P1200, 10);
    st.Stats().CountAlphaMessage(F1600);
    st.Stats().CountAlphaChars(F1600, 24);
    st.Stats().CountAlphaChars(F1600);
    st.Stats().CountNumericMessage(kStatCategoryCount);
    st.Stats().CountAlphaChars(-1, 5);
    st.Run(39 * 60 + 54);  // 23:59:59
    st.Run(1);  // the check at 00:00:00
    EXPECT_EQ(st.Stats().HourlyStats, StatCounters{});
    EXPECT_EQ(st.Stats().DailyStats, StatCounters{});
    EXPECT_EQ(st.files.flushed["26DEC06.ST"], st.files.contents["26DEC06.ST"]);
    st.Stats().CountNumericMessage(GOLAY);
    st.Run(3600 + 30);  // 01:00:30
    EXPECT_EQ(st.Stats().DailyStats.numericMsgs[GOLAY], 1u);  // not reset by the hour
    st.clock.local.hour = 0;
    st.Run(10);
    EXPECT_EQ(st.engine->Reports().StatTime(), "00:00:40");
    std::string written;
    for (const auto& [name, text] : st.files.contents) written += "== " + name + "\n" + text;
    EXPECT_EQ(written, testing::ReadFile(std::string(TOLVANE_SOURCE_DIR) + "/tests/data/stat_reports.txt"));
}

// A stat file that cannot be opened is tried again at the next report; the
// hour's counts are reset all the same. Totals do not wrap; dated names
// keep two digits of the year.
TEST(StatReports, UnopenableFileIsTriedAgainAndTotalsDoNotWrap) {
    Settings s;
    s.StatFileEnabled = s.StatCSVFileEnabled = 1;
    s.StatFile = "net.st";
    s.StatCSVFile = "net.csv";
    Station st({2026, 12, 6, 13, 59, 0}, s, {"net.st", "net.csv"});
    st.Stats().CountNumericMessage(F3200);
    st.Run(70);  // 14:00:10: still unopenable, nothing written, counts reset
    EXPECT_EQ(st.Stats().HourlyStats, StatCounters{});
    EXPECT_TRUE(st.engine->Reports().CsvHeaderPending());
    const std::vector<std::string> failed = {"failed net.st: No such file or directory",
                                             "failed net.csv: No such file or directory"};
    EXPECT_EQ(st.fileStatus.events, failed);  // told once, not at every attempt

    st.files.unopenable.clear();
    st.Stats().HourlyStats.numericMsgs[F6400] = 4294967295u;
    st.Stats().CountNumericMessage(GOLAY);
    st.Run(3600);
    const std::string& report = st.files.contents["net.st"];
    for (const char* line : {"12/06/2026 14:00:00  HOURLY\n", "FLEX 6400    4294967295         0     0.00",
                             "  Totals     4294967296         0"})
        EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
    EXPECT_EQ(st.files.contents["net.csv"].rfind(kStatCsvHeader, 0), 0u);
    std::vector<std::string> told = failed;
    told.insert(told.end(), {"works net.st", "works net.csv"});
    EXPECT_EQ(st.fileStatus.events, told);
    for (const auto& [date, name] : {std::pair<LocalTime, const char*>{{1999, 12, 31}, "99DEC31"}, {{2105, 1, 3}, "05JAN03"}})
        EXPECT_EQ(DateFileName(date), name);
}

// With several channels each report adds a row per channel, and their CSV
// rows go to a file of their own beside the CSV file, which stays as it
// was. A channel's counts reach the station's totals too.
TEST(StatReports, ARowPerChannelWithSeveralChannels) {
    Settings s;
    s.StatFileEnabled = s.StatCSVFileEnabled = 1;
    s.StatFile = "net.st";
    s.StatCSVFile = "net.csv";
    s.Iq.Channels = {{929.6e6, "NYC \"1\"", 2}, {929.2e6, "", 4}};
    Station st({2026, 12, 6, 13, 59, 50}, s);
    st.engine->UseReceivers(true);
    st.engine->ReceiverAt(0).Stats().CountNumericMessage(P1200);
    st.engine->ReceiverAt(1).Stats().CountAlphaMessage(F1600);
    st.engine->ReceiverAt(1).Stats().CountAlphaChars(F1600, 7);
    EXPECT_EQ(st.Stats().HourlyStats.alphaChars[F1600], 7u);
    st.Run(20);
    EXPECT_NE(st.files.contents["net.st"].find("  Totals            1         0                   1         7\n\n"
                                               "Channel       Numeric Msgs     Chars     Alpha Msgs     Chars\n"
                                               "NYC \"1\"                  1         0              0         0\n"
                                               "2                        0         0              1         7\n\n"),
              std::string::npos)
        << st.files.contents["net.st"];
    EXPECT_EQ(std::count(st.files.contents["net.csv"].begin(), st.files.contents["net.csv"].end(), '\n'), 2);
    EXPECT_EQ(st.files.contents["net-CHANNELS.csv"],
              std::string(kChannelCsvHeaderStart) + (kStatCsvHeader + 10) +
                  "\"12/06/2026\",\"13:59:50\",\"NYC \"\"1\"\"\",0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
                  "\"12/06/2026\",\"13:59:50\",\"2\",0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,7,0,0,0,0\n");
    EXPECT_EQ(st.engine->ReceiverAt(1).Stats().HourlyStats, StatCounters{});
}

}  // namespace
}  // namespace tolvane
