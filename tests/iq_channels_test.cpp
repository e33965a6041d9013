// One SDR band, many pager channels: generated IQ recordings through the
// whole station, a receiver per channel, against the pages each channel
// carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <thread>

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

// Five channels over a megahertz, all transmitting at once (or only those
// of `transmitting`): a neighbour 30 dB stronger 25 kHz beside the POCSAG
// 1200 one, and the recording's receiver `ppm` high (40 ppm is 37 kHz at
// this frequency). Written in `format` to `path`.
struct Band {
    std::vector<Channel> channels = {
        {"P512", 929.0625e6, 2, {"pocsag:512:1234560:3:alpha:Slow page", "pocsag:512:1234566:0:numeric:512"}},
        {"P1200", 929.3125e6, 2, {"pocsag:1200:1654321:3:alpha:Twelve hundred beside a neighbour", "pocsag:1200:1654322:1:numeric:1200"}},
        {"F1600", 929.5625e6, 2, {"flex:1600/2:1234567:0:alpha:Flex sixteen hundred"}},
        {"F6400", 929.8125e6, 4, {"flex:6400/4:1100000:0:alpha:Flex sixty four hundred"}},
        {"GSC", 929.9375e6, 2, {"gsc:600:123456:0:alpha:GOLAY SEQUENTIAL"}},
        {"QUIET", 929.6875e6, 2, {}},
    };
    double ppm;
    std::vector<gen::IqCarrier> carriers;
    std::vector<std::vector<std::string>> expected;  // each channel's pages as clean edges give them

    explicit Band(double receiverPpm = 40, std::vector<bool> transmitting = std::vector<bool>(6, true)) : ppm(receiverPpm) {
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const Channel& channel = channels[i];
            expected.emplace_back();
            if (channel.pages.empty() || !transmitting[i]) continue;
            carriers.push_back(testing::Carrier(channel.pages, channel.frequency));
            expected.back() = testing::CleanLines(carriers.back(), channel.levels);
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
        options.ppm = ppm;
        options.format = format;
        options.neighbours.push_back({929.3375e6, 30});
        std::string error;
        ASSERT_TRUE(gen::WriteIqFile(path, carriers, options, error)) << error;
    }
};

// Every channel of the plan, each into its own ring as a receiver per
// channel takes them, must give exactly what its pages give as clean
// edges, and a quiet channel nothing, in every IQ format. The receiver's
// error is found from the carriers (a given ppm is where the search
// starts), but never from a lone carrier beside a neighbour, nor with a
// one-channel plan: those are decoded where the plan says.
TEST(IqChannels, FiveChannelsInEveryFormatEachIntoItsOwnRing) {
    const std::vector<bool> all(6, true), only1200 = {false, true, false, false, false, false};
    const Band off40(40, all), off2Lone(2, only1200), off2(2, all);
    struct Row {
        IqFormat format;
        const Band& band;
        double givenPpm;
        std::vector<std::size_t> plan;  // channels of the band, in order
        double estimatedPpm;            // NaN: no estimate
    };
    const double none = std::nan("");
    const std::vector<std::size_t> wholePlan = {0, 1, 2, 3, 4, 5};
    const Row rows[] = {
        {IqFormat::CU8, off40, 0, wholePlan, 40}, {IqFormat::CS8, off40, 0, wholePlan, 40},
        {IqFormat::CS16, off40, 0, wholePlan, 40}, {IqFormat::CF32, off40, 0, wholePlan, 40},
        {IqFormat::Wav, off40, 0, wholePlan, 40}, {IqFormat::CU8, off40, 37, wholePlan, 40},
        {IqFormat::CU8, off2Lone, 0, wholePlan, none}, {IqFormat::CU8, off2, 0, {1}, none},
    };
    testing::TempDir dir;
    for (const Row& row : rows) {
        const std::string what = ::testing::PrintToString(std::tuple(std::string(IqFormatName(row.format)), row.band.ppm, row.givenPpm, row.plan));
        const std::string path = dir / (std::string("band.") + IqFormatName(row.format));
        row.band.Write(path, row.format);
        Settings settings = testing::Untimed();
        settings.Iq.SampleRate = kRate;
        settings.Iq.CenterHz = kCentre;
        settings.Iq.Ppm = row.givenPpm;
        for (std::size_t i : row.plan) settings.Iq.Channels.push_back({row.band.channels[i].frequency, "", row.band.channels[i].levels});
        std::string error;
        const std::unique_ptr<IqSource> source = SelectIqInput(path, settings, false, error);
        ASSERT_NE(source, nullptr) << error;
        // Small rings: the source waits for room in each, so drain them as it goes.
        std::vector<std::unique_ptr<EdgeRing>> rings;
        std::vector<EdgeRing*> attached;
        for (std::size_t i = 0; i < row.plan.size(); ++i)
            attached.push_back(rings.emplace_back(std::make_unique<EdgeRing>(1u << 12)).get());
        ASSERT_TRUE(source->AttachChannels(attached).Ok());
        std::vector<std::vector<EdgeEntry>> edges(rings.size());
        for (bool empty = false; !empty;) {
            empty = source->Finished();  // before the last drain: nothing comes after it
            for (std::size_t i = 0; i < rings.size(); ++i) {
                for (EdgeEntry entry; rings[i]->Pop(entry);) edges[i].push_back(entry);
                empty = empty && rings[i]->Empty();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        source->Detach();
        EXPECT_EQ(source->RuntimeError(), "") << what;
        std::string told;
        for (const std::string& notice : source->TakeNotices()) told += notice + "\n";
        constexpr char kTold[] = "Receiver frequency error: ";
        if (std::isnan(row.estimatedPpm))
            EXPECT_EQ(told, "") << what;
        else if (told.rfind(kTold, 0) == 0)
            EXPECT_NEAR(std::stod(told.substr(sizeof kTold - 1)), row.estimatedPpm, 0.5) << told;
        else
            ADD_FAILURE() << what << ": no estimate told, but '" << told << "'";
        // The band's picture marks each channel where it is tuned now.
        BandView view;
        ASSERT_TRUE(source->Spectrum(view)) << what;
        EXPECT_EQ(view.errorEstimated, !std::isnan(row.estimatedPpm)) << what;
        const double tunedPpm = std::isnan(row.estimatedPpm) ? row.givenPpm : row.band.ppm;
        for (std::size_t i = 0; i < row.plan.size(); ++i)
            EXPECT_NEAR(view.channelOffsetsHz[i], row.band.channels[row.plan[i]].frequency - kCentre * (1 + tunedPpm * 1e-6), 500)
                << what;
        for (std::size_t i = 0; i < row.plan.size(); ++i)
            EXPECT_EQ(testing::Receive(edges[i], testing::Untimed(row.band.channels[row.plan[i]].levels))->messageLines,
                      row.band.expected[row.plan[i]])
                << what << ", channel " << row.band.channels[row.plan[i]].frequency;
    }
}

// The whole station over every channel at once, a sixth one quiet: each
// channel's receiver must give exactly what its pages give as clean edges,
// every line with the channel's name in front, every page one record that
// names its channel and frequency, nothing on the quiet channel, and a
// filter limited to one channel only that channel's pages. In every IQ
// format.
TEST(IqChannels, FiveChannelsAtOnceInEveryFormat) {
    const Band band;
    const std::vector<Channel>& channels = band.channels;
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
