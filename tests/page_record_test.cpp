// Page records: alarms, dropped records and the time stamp, live and from a
// recording. The records of every protocol, page type and byte of a text
// are the golden recordings' NAME.json.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/recording_clock.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

using nlohmann::json;

// Texts with every byte from the air, quotes, control characters, damaged
// words, filters and a receiver name that needs escaping are the golden
// recordings hostile.json and page_bytes.json. Keep-alive alarms and dropped
// records reach their outputs.
TEST(PageRecord, AlarmsAndDropsReachTheirOutputs) {
    Settings settings;
    settings.KeepAliveStart[0] = 1;  // every hour of the day, one minute
    settings.KeepAliveStop[0] = 24;
    settings.KeepAliveTimeout[0] = 1;
    settings.StatFileEnabled = 1;
    settings.StatFile = "stats.txt";
    testing::TestRig rig(settings);
    testing::FakeRecords records;
    records.dropped = 7;
    rig.engine->SetRecordSink(&records, "r\xe9\"x");
    rig.Run(3600);
    ASSERT_FALSE(records.alarms.empty());
    json alarm = json::parse(records.alarms[0]);
    EXPECT_TRUE(alarm["time"].is_string());
    alarm.erase("time");
    EXPECT_EQ(alarm, json({{"receiver", "r\u00e9\"x"}, {"alarm", "Keep Alive - OFF THE AIR!"}}));
    EXPECT_NE(rig.files.contents["stats.txt"].find("Machine output: 7 records dropped"), std::string::npos);
    EXPECT_EQ(records.dropped, 0u);
}

// A page longer than a record carries is cut, and its record says so.
TEST(PageRecord, ACutLineIsMarked) {
    testing::TestRig rig;
    testing::FakeRecords records;
    rig.engine->SetRecordSink(&records, "rx");
    constexpr PageFacts kFacts{PageProtocol::Pocsag, "1200", 0, 0, PageType::Alpha};
    for (const std::size_t length : {std::size_t{16000}, std::size_t{30000}})
        testing::WritePage(rig.engine->output(), FilterType::Pocsag, "1234567", 1, 2, std::string(length, 'x'),
                           ColorClass::Alphanumeric, &kFacts);
    ASSERT_EQ(records.pages.size(), 2u);
    const json whole = json::parse(records.pages[0]), cut = json::parse(records.pages[1]);
    EXPECT_FALSE(whole.contains("truncated"));
    EXPECT_EQ(whole["message"].get<std::string>().size(), 16000u);
    EXPECT_EQ(cut["truncated"], true);
    EXPECT_EQ(cut["line"].get<std::string>().size(), 16384u);
}

TEST(PageRecord, TimeIsLocalWithItsOffsetAndMillisecondsAlsoFromARecording) {
    EXPECT_EQ(IsoTime(1'796'515'200'001LL, -330), "2026-12-05T18:30:00.001-05:30");
    EXPECT_EQ(IsoTime(951'825'599'999LL, 0), "2000-02-29T11:59:59.999+00:00");

    // A recording's clock is the sample being decoded, in the local zone.
    const char* tz = std::getenv("TZ");
    const std::string saved = tz != nullptr ? tz : "";
    ::setenv("TZ", "Europe/Amsterdam", 1);
    ::tzset();
    testing::TestRig rig;
    RecordingClock winter(1'796'555'096);
    winter.FollowSamples(*rig.engine);
    rig.Feed(std::vector<EdgeEntry>(150, EdgeEntry{10000, 0}), false);  // 1.2582 s
    EXPECT_EQ(IsoTime(winter.NowMilliseconds(), winter.UtcOffsetMinutes()), "2026-12-06T12:04:57.258+01:00");
    EXPECT_EQ(winter.Now(), 1'796'555'097);
    EXPECT_EQ(RecordingClock(1'782'900'000).UtcOffsetMinutes(), 120);  // summer time
    tz != nullptr ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace tolvane
