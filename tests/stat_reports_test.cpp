// Hourly and daily statistics: counting, the reports written at the hour
// and at midnight, date-named files.
#include "monitor/stat_reports.h"

#include <gtest/gtest.h>

#include "support/fake_world.h"

namespace tolvane {
namespace {

// A station on fake parts, started at a chosen local time, some files
// perhaps unopenable.
struct Station : testing::TestRig {
    Station(const LocalTime& start, const Settings& settings, std::vector<std::string> unopenable = {})
        : TestRig(settings, [&](TestRig& rig) {
              rig.clock.local = start;
              rig.files.unopenable = unopenable;
          }) {}
    Statistics& Stats() { return engine->Stats(); }
};

Settings NamedFiles() {
    Settings s;
    s.StatFileEnabled = 1;
    s.StatFile = "net.st";
    s.StatCSVFileEnabled = 1;
    s.StatCSVFile = "net.csv";
    return s;
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
    EXPECT_TRUE(st.files.contents["26DEC06.ST"].empty());
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

TEST(StatReports, UnopenableFileIsTriedAgainAtTheNextReport) {
    Station st({2026, 12, 6, 13, 59, 0}, NamedFiles(), {"net.st", "net.csv"});
    st.Stats().CountNumericMessage(F3200);
    st.Run(70);  // 14:00:10: still unopenable, nothing written, counts reset
    EXPECT_EQ(st.Stats().HourlyStats, StatCounters{});
    EXPECT_TRUE(st.engine->Reports().CsvHeaderPending());
    const std::vector<std::string> failed = {"failed net.st: No such file or directory",
                                             "failed net.csv: No such file or directory"};
    EXPECT_EQ(st.fileStatus.events, failed);  // told once, not at every attempt

    st.files.unopenable.clear();
    st.Run(3600);
    EXPECT_NE(st.files.contents["net.st"].find("12/06/2026 14:00:00  HOURLY\n"), std::string::npos);
    EXPECT_EQ(st.files.contents["net.csv"].rfind(kStatCsvHeader, 0), 0u);
    std::vector<std::string> told = failed;
    told.insert(told.end(), {"works net.st", "works net.csv"});
    EXPECT_EQ(st.fileStatus.events, told);
}

TEST(StatReports, ReportTotalsDoNotWrapAndDateNames) {
    StatCounters c;
    c.numericMsgs[F6400] = 4294967295u;
    c.numericMsgs[GOLAY] = 1;
    testing::MemoryFiles files;
    std::string problem;
    auto file = files.OpenForAppend("r", problem);
    WriteStatReport(*file, c);
    EXPECT_NE(files.contents["r"].find("FLEX 6400    4294967295         0     0.00"), std::string::npos);
    EXPECT_NE(files.contents["r"].find("  Totals     4294967296         0"), std::string::npos);
    for (const auto& [date, name] : {std::pair<LocalTime, const char*>{{1999, 12, 31}, "99DEC31"}, {{2105, 1, 3}, "05JAN03"}})
        EXPECT_EQ(DateFileName(date), name);
}

}  // namespace
}  // namespace tolvane
