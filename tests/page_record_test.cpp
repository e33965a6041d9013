// Page records: every protocol and page type decoded from generated
// signals, hostile texts, filters, alarms and the time stamp, live and from
// a recording. Every record is checked by parsing it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "engine/recording_clock.h"
#include "support/fake_world.h"
#include "tools/gen/page_description.h"
#include "tools/gen/protocols.h"

namespace tolvane {
namespace {

using nlohmann::json;

struct CollectedRecords : RecordSink {
    void PageRecorded(std::string_view text) override { pages.emplace_back(text); }
    void AlarmRaised(std::string_view text) override { alarms.emplace_back(text); }
    std::uint64_t TakeDropped() override { return std::exchange(dropped, 0); }
    std::vector<std::string> pages, alarms;
    std::uint64_t dropped = 0;
};

// Strictly parsed (invalid UTF-8 throws), and plain printable ASCII on the wire.
json Parse(const std::string& text) {
    for (const char c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << text;
    return json::parse(text);
}

// The bytes a JSON text stands for, each character one byte's value
// (U+0000..U+00FF); anything beyond gives "?!".
std::string Bytes(const std::string& utf8) {
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead >= 0x80 && (lead > 0xC3 || lead < 0xC2 || i + 1 == utf8.size())) return "?!";
        bytes += lead < 0x80 ? utf8[i] : static_cast<char>(((lead & 3) << 6) | (utf8[++i] & 0x3F));
    }
    return bytes;
}

struct AirCase {
    const char* name;
    const char* page;  // as tolvane-gen takes it
    int levels;
    json expected;  // the fields besides receiver, time, filter and line
    int damagedWord = -1;  // made uncorrectable, in tolvane-gen's numbering
};

class DecodedRecords : public ::testing::TestWithParam<AirCase> {};

TEST_P(DecodedRecords, CarryWhatThePaneShows) {
    const AirCase& c = GetParam();
    gen::PageDescription page;
    std::string error;
    ASSERT_TRUE(gen::ParsePageDescription(c.page, page, error)) << error;
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, 0.2);
    gen::EncodeOptions damage;
    if (c.damagedWord >= 0) damage.errorWords = {c.damagedWord};
    ASSERT_TRUE(gen::FindProtocol(page.protocol)->encode({page}, damage, stream, error)) << error;
    gen::AppendSilence(stream, 0, 0.2);
    Settings settings;
    settings.FourLevelInterface = c.levels == 4 ? 1 : 0;
    testing::TestRig rig(settings);
    CollectedRecords records;
    rig.engine->SetRecordSink(&records, "north");
    gen::ChannelOptions channel;
    channel.levels = c.levels;
    rig.Feed(gen::SymbolsToEdges(stream, channel));

    // Frame rows reach the pane but are no pages.
    ASSERT_EQ(records.pages.size(), 1u);
    json r = Parse(records.pages[0]);
    EXPECT_EQ(r["receiver"], "north");
    EXPECT_EQ(r["filter"], nullptr);
    EXPECT_EQ(r["time"], "2001-09-09T01:46:40.000+00:00");  // the fake clock's second
    EXPECT_NE(std::find(rig.messageLines.begin(), rig.messageLines.end(), Bytes(r["line"])), rig.messageLines.end());
    for (const char* shown : {"receiver", "filter", "time", "line"}) r.erase(shown);
    json expected = c.expected;
    expected["errors"] = c.damagedWord >= 0;  // text in the bit-error colour
    EXPECT_EQ(r, expected) << r.dump();
}

json Fields(const char* protocol, const char* rate, json capcode, json function, json phase, const char* type,
            const char* message) {
    return {{"protocol", protocol}, {"rate", rate},   {"capcode", capcode}, {"function", function},
            {"phase", phase},       {"type", type},   {"message", message}};
}
const json null = nullptr;

INSTANTIATE_TEST_SUITE_P(
    EveryProtocolAndType, DecodedRecords,
    ::testing::Values(
        AirCase{"Pocsag512Alpha", "pocsag:512:1234567:3:alpha:Hello", 2,
                Fields("POCSAG", "512", "1234567", 3, null, "alpha", "Hello")},
        AirCase{"Pocsag1200Numeric", "pocsag:1200:42:0:numeric:0123", 2,
                Fields("POCSAG", "1200", "0000042", 0, null, "numeric", "0123 ")},
        AirCase{"Pocsag2400Tone", "pocsag:2400:8:1:tone:", 2,
                Fields("POCSAG", "2400", "0000008", 1, null, "tone", "TONE ONLY")},
        AirCase{"PocsagDamaged", "pocsag:1200:1234567:3:alpha:Hello world this is long", 2,
                Fields("POCSAG", "1200", "1234567", 3, null, "alpha", "Hello \u0097\u0090\u0093md this is long "), 17},
        AirCase{"Flex1600Tone", "flex:1600/2:1234571:0:tone:", 2,
                Fields("FLEX", "1600/2", "1234571", null, "C", "tone", "")},
        AirCase{"Flex1600ShortNumeric", "flex:1600/2:1234571:0:tone:123", 2,
                Fields("FLEX", "1600/2", "1234571", null, "C", "numeric", "123")},
        AirCase{"Flex3200LongNumeric", "flex:3200/2:123456789:0:numeric:4711", 2,
                Fields("FLEX", "3200/2", "123456789", null, "B", "numeric", "4711")},
        AirCase{"Flex3200Secure", "flex:3200/4:1234569:1:alpha:sec", 4,
                Fields("FLEX", "3200/4", "1234569", null, "C", "secure", "sec")},
        AirCase{"Flex6400Binary", "flex:6400/4:1234570:0:binary:ABCD", 4,
                Fields("FLEX", "6400/4", "1234570", null, "C", "binary", "ABCD0")},
        AirCase{"Flex6400Alpha", "flex:6400/4:1234567:0:alpha:Flex text", 4,
                Fields("FLEX", "6400/4", "1234567", null, "B", "alpha", "Flex text")},
        AirCase{"ReflexRaw", "flex:reflex:1234567:0:alpha:Raw text", 4,
                Fields("REFLEX", "3200/4", null, null, null, "raw", "[00040B]\x0b\x08Raw text ")},
        AirCase{"GscAlpha", "gsc:600:123456:1:alpha:A LONG GOLAY PAGE OF TEXT", 2,
                Fields("GSC", "600", "123456", 2, null, "alpha", "A LONG GOLAY PAGE OF TEXT")},
        AirCase{"GscNumeric", "gsc:600:654321:3:numeric:12345", 2,
                Fields("GSC", "600", "654321", 4, null, "numeric", "12345        A,4IJJJJ")}),
    [](const ::testing::TestParamInfo<AirCase>& p) { return std::string(p.param.name); });

constexpr PageFacts kPocsagAlpha{PageProtocol::Pocsag, "1200", 3, 0, PageType::Alpha};

void WriteDescribedPage(Output& out, std::string_view capcode, std::string_view message, bool damaged = false) {
    testing::WritePage(out, FilterType::Pocsag, capcode, 4, 2, message,
                       damaged ? ColorClass::BitErrors : ColorClass::Alphanumeric, &kPocsagAlpha);
}

TEST(PageRecord, AnyReceivedTextGivesValidJsonThatReadsBackExactly) {
    std::string every;
    for (int b = 1; b < 256; ++b) every += static_cast<char>(b);
    const std::vector<std::string> texts = {"say \"hi\" \\ back\\", std::string("bell\x07 esc\x1b[2J nl\n tab\t nul\0end", 29),
                                            "\xe9t\xe9 \xff\x80 \x7f", every, std::string(1000, 'x') + "\"\\\x01\xfe"};
    testing::TestRig rig;
    CollectedRecords records;
    rig.engine->SetRecordSink(&records, "r\xe9\"x");
    rig.engine->output().SetScrollback(rig.engine->output().MessagePane, 100);
    for (const std::string& text : texts) WriteDescribedPage(rig.engine->output(), "1234567", text);
    ASSERT_EQ(records.pages.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const json r = Parse(records.pages[i]);
        EXPECT_EQ(Bytes(r["message"]), texts[i]) << i;
        EXPECT_EQ(Bytes(r["line"]), "1234567 " + texts[i]) << i;
        EXPECT_EQ(Bytes(r["receiver"]), "r\xe9\"x");
    }
}

TEST(PageRecord, FiltersDecideLabelAndRejectionAndAlarmsAndDropsReachTheirOutputs) {
    Settings settings;
    FilterRecord fire;
    fire.type = FilterType::Pocsag;
    fire.capcode = "12345??";
    fire.label = "FIRE";
    FilterRecord reject = fire;
    reject.capcode = "9999999";
    reject.reject = 1;
    FilterRecord word;
    word.type = FilterType::Text;
    word.text = "urgent";
    settings.Filters = {fire, reject, word};
    settings.KeepAliveStart[0] = 1;  // every hour of the day, one minute
    settings.KeepAliveStop[0] = 24;
    settings.KeepAliveTimeout[0] = 1;
    settings.StatFileEnabled = 1;
    settings.StatFile = "stats.txt";
    testing::TestRig rig(settings);
    CollectedRecords records;
    records.dropped = 7;
    rig.engine->SetRecordSink(&records, "north");
    Output& out = rig.engine->output();
    WriteDescribedPage(out, "1234567", "by capcode");
    WriteDescribedPage(out, "9999999", "rejected");
    WriteDescribedPage(out, "7654321", "an URGENT text");
    // A row of no page, written after a described one was rejected.
    out.PanePutText(out.MessagePane, "UNKNOWN SYNC HEADER");
    out.PaneEndLine(out.MessagePane);
    ASSERT_EQ(records.pages.size(), 2u);
    EXPECT_EQ(Parse(records.pages[0])["filter"], "FIRE");
    EXPECT_EQ(Parse(records.pages[1])["filter"], "");

    for (int s = 0; s < 3600; ++s) {
        rig.clock.Advance(1);
        for (int t = 0; t < 10; ++t) rig.engine->TimerHooks();
    }
    ASSERT_FALSE(records.alarms.empty());
    json alarm = Parse(records.alarms[0]);
    EXPECT_TRUE(alarm["time"].is_string());
    alarm.erase("time");
    EXPECT_EQ(alarm, json({{"receiver", "north"}, {"alarm", "Keep Alive - OFF THE AIR!"}}));
    EXPECT_NE(rig.files.contents["stats.txt"].find("Machine output: 7 records dropped"), std::string::npos);
    EXPECT_EQ(records.dropped, 0u);
}

TEST(PageRecord, TimeIsLocalWithItsOffsetAndMillisecondsAlsoFromARecording) {
    for (const auto& [ms, offset, text] : {std::tuple{0LL, 0, "1970-01-01T00:00:00.000+00:00"},
                                           {1'796'555'096'789LL, 60, "2026-12-06T12:04:56.789+01:00"},
                                           {1'796'515'200'001LL, -330, "2026-12-05T18:30:00.001-05:30"},
                                           {951'825'599'999LL, 0, "2000-02-29T11:59:59.999+00:00"}})
        EXPECT_EQ(IsoTime(ms, offset), text);

    // A recording's clock is the sample being decoded, in the local zone.
    const char* tz = std::getenv("TZ");
    const std::string saved = tz != nullptr ? tz : "";
    ::setenv("TZ", "Europe/Amsterdam", 1);
    ::tzset();
    testing::TestRig rig;
    RecordingClock winter(1'796'555'096);
    winter.FollowSamples(rig.engine->Recovery());
    rig.Feed(std::vector<EdgeEntry>(150, EdgeEntry{10000, 0}), false);  // 1.2582 s
    EXPECT_EQ(IsoTime(winter.NowMilliseconds(), winter.UtcOffsetMinutes()), "2026-12-06T12:04:57.258+01:00");
    EXPECT_EQ(winter.Now(), 1'796'555'097);
    EXPECT_EQ(RecordingClock(1'782'900'000).UtcOffsetMinutes(), 120);  // summer time
    tz != nullptr ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace tolvane
