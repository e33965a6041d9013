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

const std::string kHead =
    "              Numeric   Numeric  Numeric      Alpha     Alpha    Alpha\n"
    "                 Msgs     Chars  Average       Msgs     Chars  Average\n";
const std::string kRule = "             -------- ---------            -------- ---------\n";

TEST(StatReports, HourChangeWritesBlockAndRowThenCountsTheNextHour) {
    Station st({2026, 12, 6, 13, 20, 5}, NamedFiles());
    for (int i = 0; i < 3; ++i) st.Stats().CountNumericMessage(P1200);
    st.Stats().CountNumericChars(P1200, 10);
    st.Stats().CountAlphaMessage(F1600);
    st.Stats().CountAlphaChars(F1600, 24);
    st.Stats().CountAlphaChars(F1600);
    // Categories outside the table are ignored, not written past it.
    st.Stats().CountNumericMessage(kStatCategoryCount);
    st.Stats().CountAlphaChars(-1, 5);
    st.Run(39 * 60 + 54);  // 13:59:59
    EXPECT_TRUE(st.files.contents["net.st"].empty());
    st.Run(1);  // the check at 14:00:00

    EXPECT_EQ(st.files.flushed["net.st"],
              "12/06/2026 13:20:05  HOURLY\n" + kHead +
                  "FLEX 6400           0         0     0.00          0         0     0.00\n"
                  "FLEX 3200           0         0     0.00          0         0     0.00\n"
                  "FLEX 1600           0         0     0.00          1        25    25.00\n"
                  "POCSAG 2400         0         0     0.00          0         0     0.00\n"
                  "POCSAG 1200         3        10     3.33          0         0     0.00\n"
                  "POCSAG 512          0         0     0.00          0         0     0.00\n"
                  "GOLAY (GSC)         0         0     0.00          0         0     0.00\n" +
                  kRule + "  Totals            3        10                   1        25\n\n");
    const std::string row = "\"12/06/2026\",\"13:20:05\",0,0,0,0,3,0,0,0,0,1,0,0,0,0,0,0,0,0,10,0,0,0,0,25,0,0,0,0\n";
    EXPECT_EQ(st.files.flushed["net.csv"], std::string(kStatCsvHeader) + row);

    EXPECT_EQ(st.Stats().HourlyStats, StatCounters{});
    EXPECT_EQ(st.Stats().DailyStats.numericMsgs[P1200], 3u);
    EXPECT_EQ(st.engine->Reports().StatTime(), "14:00:00");

    // The next hour: its own label, no second header, the daily count grows.
    st.Stats().CountNumericMessage(GOLAY);
    st.Run(3600);
    EXPECT_EQ(st.files.contents["net.csv"],
              std::string(kStatCsvHeader) + row +
                  "\"12/06/2026\",\"14:00:00\",0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
}

TEST(StatReports, MidnightMovesDateNamedFilesOn) {
    Settings s;
    s.StatFileEnabled = s.StatFileUseDate = 1;
    s.StatCSVFileEnabled = s.StatCSVFileUseDate = 1;
    s.LogFileEnabled = s.LogFileUseDate = 1;
    Station st({2026, 12, 6, 23, 40, 0}, s);
    EXPECT_TRUE(st.files.contents.count("26DEC06.CSV") && st.files.contents.count("26DEC06.LOG"));
    st.Stats().CountAlphaMessage(P512);
    st.Run(20 * 60 + 30);  // 00:00:30 on the 7th

    const std::string lastHour = "\"12/06/2026\",\"23:40:00\",0,0,0,0,0,0,0,0,0,0,0,0,1,0";
    EXPECT_EQ(st.files.contents["26DEC06.CSV"].rfind(std::string(kStatCsvHeader) + lastHour, 0), 0u);
    const std::string& text = st.files.contents["26DEC06.ST"];
    const auto hourly = text.find("12/06/2026 23:40:00  HOURLY\n");
    const auto daily = text.find("12/06/2026  DAILY\n");
    ASSERT_NE(hourly, std::string::npos);
    ASSERT_NE(daily, std::string::npos);
    EXPECT_LT(hourly, daily);
    EXPECT_NE(text.find("POCSAG 512          0         0     0.00          1         0     0.00", daily),
              std::string::npos);
    EXPECT_EQ(st.files.contents["26DEC07.CSV"], "");
    EXPECT_TRUE(st.files.contents.count("26DEC07.ST") && st.files.contents.count("26DEC07.LOG"));
    EXPECT_EQ(st.Stats().DailyStats, StatCounters{});

    st.Run(3600);
    EXPECT_EQ(st.files.contents["26DEC07.CSV"].rfind(std::string(kStatCsvHeader) + "\"12/07/2026\",\"00:00:00\",", 0),
              0u);
}

TEST(StatReports, ClockSetBackOneHourIsAnHourChange) {
    Station st({2026, 12, 6, 14, 10, 0}, NamedFiles());
    st.Run(30);
    st.clock.local.hour = 13;
    st.Run(10);
    EXPECT_NE(st.files.contents["net.csv"].find("\"12/06/2026\",\"14:10:00\","), std::string::npos);
    EXPECT_EQ(st.engine->Reports().StatTime(), "13:10:40");
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
