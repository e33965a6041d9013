// One SDR band, many pager channels: generated IQ recordings through the
// whole station, a receiver per channel, against the pages each channel
// carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include <nlohmann/json.hpp>

#include "receiver/iq/iq_format.h"
#include "support/iq_loopback.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

constexpr double kCentre = 929.5e6;
constexpr double kRate = 2.4e6;

struct Channel {
    const char* name;
    double frequency;
    int levels;
    std::vector<std::string> pages;
};

// Five channels over a megahertz, all transmitting at once: a neighbour
// 30 dB stronger 25 kHz beside the POCSAG 1200 one, the recording's
// receiver 40 ppm high (37 kHz at this frequency) and calibrated to
// 37 ppm, which leaves 2.8 kHz for the fine tuning to follow. Written
// in `format` to `path`.
struct Band {
    std::vector<Channel> channels = {
        {"P512", 929.0625e6, 2, {"pocsag:512:1234560:3:alpha:Slow page", "pocsag:512:1234566:0:numeric:512"}},
        {"P1200", 929.3125e6, 2, {"pocsag:1200:1654321:3:alpha:Twelve hundred beside a neighbour", "pocsag:1200:1654322:1:numeric:1200"}},
        {"F1600", 929.5625e6, 2, {"flex:1600/2:1234567:0:alpha:Flex sixteen hundred"}},
        {"F6400", 929.8125e6, 4, {"flex:6400/4:1100000:0:alpha:Flex sixty four hundred"}},
        {"GSC", 929.9375e6, 2, {"gsc:600:123456:0:alpha:GOLAY SEQUENTIAL"}},
    };
    std::vector<gen::IqCarrier> carriers;
    std::vector<std::vector<std::string>> expected;  // each channel's pages as clean edges give them

    Band() {
        for (const Channel& channel : channels) {
            carriers.push_back(testing::Carrier(channel.pages, channel.frequency));
            expected.push_back(testing::CleanLines(carriers.back(), channel.levels));
            // Each page once: its capcode heads one line ("{1234567}", "[1100000]", "(123456)").
            for (const std::string& page : channel.pages) {
                const std::size_t from = page.find(':', page.find(':') + 1) + 1;
                const std::string capcode = page.substr(from, page.find(':', from) - from);
                EXPECT_EQ(std::count_if(expected.back().begin(), expected.back().end(), [&](const std::string& line) {
                              return line.compare(1, capcode.size(), capcode) == 0 && line.size() > capcode.size() + 1 &&
                                     !std::isdigit(static_cast<unsigned char>(line[capcode.size() + 1]));
                          }), 1) << page;
            }
        }
    }

    void Write(const std::string& path, IqFormat format) const {
        gen::IqOptions options;
        options.sampleRate = kRate;
        options.centreHz = kCentre;
        options.cnrDb = 30;
        options.ppm = 40;
        options.format = format;
        options.neighbours.push_back({929.3375e6, 30});
        std::string error;
        ASSERT_TRUE(gen::WriteIqFile(path, carriers, options, error)) << error;
    }
};

// The whole station over every channel at once, a sixth one quiet: each
// channel's receiver must give exactly what its pages give as clean edges,
// every line with the channel's name in front, every page one record that
// names its channel and frequency, nothing on the quiet channel, and a
// filter limited to one channel only that channel's pages. In every IQ
// format.
TEST(IqChannels, FiveChannelsAtOnceInEveryFormat) {
    const Band band;
    std::vector<Channel> channels = band.channels;
    channels.push_back({"QUIET", 929.6875e6, 2, {}});
    IqBand settings;
    settings.SampleRate = kRate;
    settings.CenterHz = kCentre;
    settings.Ppm = 37;
    std::vector<std::string> expected;
    std::size_t pages = 0;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        settings.Channels.push_back({channels[i].frequency, channels[i].name, channels[i].levels});
        if (i < band.expected.size())
            for (const std::string& line : band.expected[i]) expected.push_back(channels[i].name + (" " + line));
        pages += channels[i].pages.size();
    }
    std::sort(expected.begin(), expected.end());
    // "hundred" is sent on P1200 and F1600; the filter takes F1600's alone.
    const FilterRecord flexOnly{FilterType::Text, "", 0, "", "hundred", 0, 0, 0, 0, "F1600"};
    std::vector<std::string> filtered;
    for (const std::string& line : band.expected[2])
        if (line.find("hundred") != std::string::npos) filtered.push_back("F1600 " + line);
    ASSERT_EQ(filtered.size(), 1u);
    testing::TempDir dir;
    for (IqFormat format : {IqFormat::CU8, IqFormat::CS8, IqFormat::CS16, IqFormat::CF32, IqFormat::Wav}) {
        SCOPED_TRACE(IqFormatName(format));
        const std::string path = dir / (std::string("band.") + IqFormatName(format));
        band.Write(path, format);
        testing::IqDecoded decoded = testing::DecodeIq(path, settings, {flexOnly});
        EXPECT_EQ(decoded.error, "");
        std::sort(decoded.lines.begin(), decoded.lines.end());
        EXPECT_EQ(decoded.lines, expected);
        EXPECT_EQ(decoded.filtered, filtered);
        ASSERT_EQ(decoded.records.size(), pages);
        for (const std::string& text : decoded.records) {
            const nlohmann::json record = nlohmann::json::parse(text);
            const auto channel = std::find_if(channels.begin(), channels.end(),
                                              [&](const Channel& c) { return c.name == record["channel"]; });
            ASSERT_NE(channel, channels.end()) << text;
            EXPECT_EQ(record["frequency"], std::llround(channel->frequency)) << text;
            EXPECT_EQ(record["line"].get<std::string>().rfind(channel->name + std::string(" "), 0), 0u) << text;
        }
    }
}

}  // namespace
}  // namespace tolvane
