// One SDR band, many pager channels: generated IQ recordings through the
// IQ sources, the channel bank and today's single receiver, one channel at
// a time, against the pages each channel carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "receiver/iq/iq_format.h"
#include "support/iq_loopback.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

constexpr double kCentre = 929.5e6;
constexpr double kRate = 2.4e6;

struct Channel {
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
        {929.0625e6, 2, {"pocsag:512:1234560:3:alpha:Slow page", "pocsag:512:1234566:0:numeric:512"}},
        {929.3125e6, 2, {"pocsag:1200:1654321:3:alpha:Twelve hundred beside a neighbour", "pocsag:1200:1654322:1:numeric:1200"}},
        {929.5625e6, 2, {"flex:1600/2:1234567:0:alpha:Flex sixteen hundred"}},
        {929.8125e6, 4, {"flex:6400/4:1100000:0:alpha:Flex sixty four hundred"}},
        {929.9375e6, 2, {"gsc:600:123456:0:alpha:GOLAY SEQUENTIAL"}},
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

// Every channel, each into its own ring as a receiver per channel takes
// them, must give exactly what its pages give as clean edges, and a quiet
// channel nothing. In every IQ format.
TEST(IqChannels, FiveChannelsInEveryFormatEachIntoItsOwnRing) {
    const Band band;
    std::vector<Channel> channels = band.channels;
    channels.push_back({929.6875e6, 2, {}});  // quiet
    IqInputOptions options;
    options.sampleRate = kRate;
    options.centreHz = kCentre;
    options.ppm = 37;
    for (const Channel& channel : channels) options.channels.push_back({channel.frequency, "", channel.levels});
    testing::TempDir dir;
    for (IqFormat format : {IqFormat::CU8, IqFormat::CS8, IqFormat::CS16, IqFormat::CF32, IqFormat::Wav}) {
        const std::string path = dir / (std::string("band.") + IqFormatName(format));
        band.Write(path, format);
        std::string error;
        const std::unique_ptr<IqSource> source = SelectIqInput(path, options, testing::Untimed(), error);
        ASSERT_NE(source, nullptr) << error;
        // Small rings: the source waits for room in each, so drain them as it goes.
        std::vector<std::unique_ptr<EdgeRing>> rings;
        std::vector<EdgeRing*> attached;
        for (std::size_t i = 0; i < channels.size(); ++i)
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
        EXPECT_EQ(source->RuntimeError(), "") << IqFormatName(format);
        for (std::size_t i = 0; i < channels.size(); ++i)
            EXPECT_EQ(testing::Receive(edges[i], testing::Untimed(channels[i].levels))->messageLines,
                      i < band.expected.size() ? band.expected[i] : std::vector<std::string>())
                << IqFormatName(format) << ", channel " << channels[i].frequency;
    }
}

}  // namespace
}  // namespace tolvane
