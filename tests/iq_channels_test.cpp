// One SDR band, many pager channels: generated IQ recordings through the
// IQ sources, the channel bank and today's single receiver, one channel at
// a time, against the pages each channel carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>
#include <fstream>

#include "receiver/input_select.h"
#include "receiver/iq/iq_format.h"
#include "receiver/iq/iq_select.h"
#include "support/iq_loopback.h"
#include "support/loopback.h"
#include "tools/gen/iq_writer.h"

namespace tolvane {
namespace {

constexpr double kCentre = 929.5e6;
constexpr double kRate = 2.4e6;

IqInputOptions OneChannel(double frequency, int levels, double ppm = 0) {
    IqInputOptions options;
    options.sampleRate = kRate;
    options.centreHz = kCentre;
    options.ppm = ppm;
    options.channels.push_back({frequency, "", levels});
    return options;
}

struct Channel {
    double frequency;
    int levels;
    std::vector<std::string> pages;
};

// Five channels over a megahertz, all transmitting at once: a neighbour
// 30 dB stronger 25 kHz beside the POCSAG 1200 one, the recording's
// receiver 40 ppm high (37 kHz at this frequency) and calibrated to
// 37 ppm, which leaves 2.8 kHz for the fine tuning to follow.
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
    gen::IqOptions options;

    Band() {
        for (const Channel& channel : channels) {
            std::vector<gen::PageDescription> pages;
            for (const std::string& text : channel.pages) {
                gen::PageDescription page;
                std::string error;
                EXPECT_TRUE(gen::ParsePageDescription(text, page, error)) << error;
                pages.push_back(page);
            }
            gen::IqCarrier carrier;
            std::string error;
            EXPECT_TRUE(gen::BuildCarrier(pages, gen::EncodeOptions(), 0.3, carrier, error)) << error;
            carrier.frequencyHz = channel.frequency;
            gen::ChannelOptions clean;
            clean.levels = channel.levels;
            expected.push_back(testing::Receive(gen::SymbolsToEdges(carrier.stream, clean),
                                                testing::Untimed(channel.levels))
                                   ->messageLines);
            carriers.push_back(carrier);
        }
        options.sampleRate = kRate;
        options.centreHz = kCentre;
        options.cnrDb = 30;
        options.ppm = 40;
        options.neighbours.push_back({929.3375e6, 30});
    }
};

// Each channel alone must give exactly what its pages give as clean edges,
// and a quiet channel nothing. In every IQ format.
TEST(IqChannels, FiveChannelsInEveryFormat) {
    Band band;
    const std::vector<Channel>& channels = band.channels;
    const std::vector<std::vector<std::string>>& expected = band.expected;
    const std::vector<gen::IqCarrier>& carriers = band.carriers;
    gen::IqOptions& options = band.options;
    const double kQuiet = 929.6875e6;
    testing::TempDir dir;
    for (IqFormat format : {IqFormat::CU8, IqFormat::CS8, IqFormat::CS16, IqFormat::CF32, IqFormat::Wav}) {
        options.format = format;
        const std::string path = dir / (std::string("band.") + IqFormatName(format));
        std::string error;
        ASSERT_TRUE(gen::WriteIqFile(path, carriers, options, error)) << error;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const testing::IqDecoded decoded =
                testing::DecodeIq(path, OneChannel(channels[i].frequency, channels[i].levels, 37));
            EXPECT_EQ(decoded.error, "");
            EXPECT_EQ(decoded.lines, expected[i]) << IqFormatName(format) << ", channel " << channels[i].frequency;
            // Each page once: its capcode heads one line.
            for (const std::string& page : channels[i].pages) {
                const std::size_t from = page.find(':', page.find(':') + 1) + 1;
                const std::string capcode = page.substr(from, page.find(':', from) - from);
                // "{1234567}", "[1100000]", "(123456)": bracket, capcode, bracket.
                auto heads = [&](const std::string& line) {
                    return line.compare(1, capcode.size(), capcode) == 0 && line.size() > capcode.size() + 1 &&
                           !std::isdigit(static_cast<unsigned char>(line[capcode.size() + 1]));
                };
                EXPECT_EQ(std::count_if(decoded.lines.begin(), decoded.lines.end(), heads),
                          1)
                    << IqFormatName(format) << ": " << page;
            }
        }
        const testing::IqDecoded quiet = testing::DecodeIq(path, OneChannel(kQuiet, 2, 37));
        EXPECT_EQ(quiet.error, "");
        EXPECT_TRUE(quiet.lines.empty()) << IqFormatName(format) << ": " << quiet.lines.front();
    }
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

// All five at once, each into its own ring, as a receiver per channel will
// take them: every ring gives its channel's pages.
TEST(IqChannels, EveryChannelIntoItsOwnRing) {
    Band band;
    band.options.format = IqFormat::CU8;
    testing::TempDir dir;
    const std::string path = dir / "band.cu8";
    std::string error;
    ASSERT_TRUE(gen::WriteIqFile(path, band.carriers, band.options, error)) << error;
    IqSourceOptions options;
    options.sampleRate = kRate;
    options.centreHz = kCentre;
    options.ppm = 37;
    options.twoLevel = SlicerOptionsFor(testing::Untimed(2));
    options.fourLevel = SlicerOptionsFor(testing::Untimed(4));
    std::vector<std::unique_ptr<EdgeRing>> rings;
    std::vector<EdgeRing*> attached;
    for (const Channel& channel : band.channels) {
        options.channels.push_back({channel.frequency, "", channel.levels});
        rings.push_back(std::make_unique<EdgeRing>(1u << 12));
        attached.push_back(rings.back().get());
    }
    IqSource source(std::make_unique<IqFileInput>(path, IqFormat::CU8), options);
    ASSERT_TRUE(source.AttachChannels(attached).Ok());
    // Small rings: the source waits for room in each, so drain them as it goes.
    std::vector<std::vector<EdgeEntry>> edges(rings.size());
    auto drained = [&] {
        bool empty = true;
        for (std::size_t i = 0; i < rings.size(); ++i) {
            EdgeEntry entry;
            while (rings[i]->Pop(entry)) edges[i].push_back(entry);
            empty = empty && rings[i]->Empty();
        }
        return empty;
    };
    for (;;) {
        const bool finished = source.Finished();  // before the last drain: nothing comes after it
        if (drained() && finished) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    source.Detach();
    EXPECT_EQ(source.RuntimeError(), "");
    for (std::size_t i = 0; i < rings.size(); ++i) {
        const int levels = band.channels[i].levels;
        EXPECT_EQ(testing::Receive(edges[i], testing::Untimed(levels))->messageLines, band.expected[i])
            << "channel " << band.channels[i].frequency;
    }
}

}  // namespace
}  // namespace tolvane
