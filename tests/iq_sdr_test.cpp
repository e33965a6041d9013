// The live receiver path through SoapySDR itself: a test module (driver
// "tolvanefile", tests/soapy) plays a generated recording as a device
// would, and the IQ source must decode it, notice when the device goes
// quiet or breaks, open it again, and stop promptly whatever it is doing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "receiver/iq/iq_select.h"
#include "support/loopback.h"
#include "tools/gen/iq_writer.h"

namespace tolvane {
namespace {

constexpr double kCentre = 153.0e6;
constexpr double kChannel = 153.1e6;

// A cu8 recording of one POCSAG page at kChannel; the edge path's lines.
std::vector<std::string> WriteRecording(const std::string& path) {
    gen::PageDescription page;
    std::string error;
    EXPECT_TRUE(gen::ParsePageDescription("pocsag:1200:1234567:3:alpha:Live through SoapySDR", page, error));
    gen::IqCarrier carrier;
    EXPECT_TRUE(gen::BuildCarrier({page}, gen::EncodeOptions(), 0.3, carrier, error)) << error;
    carrier.frequencyHz = kChannel;
    gen::IqOptions options;
    options.centreHz = kCentre;
    options.cnrDb = 30;
    EXPECT_TRUE(gen::WriteIqFile(path, {carrier}, options, error)) << error;
    return testing::Receive(gen::SymbolsToEdges(carrier.stream, gen::ChannelOptions()))->messageLines;
}

std::unique_ptr<IqSource> Device(const std::string& arguments) {
    setenv("SOAPY_SDR_PLUGIN_PATH", TOLVANE_SOAPY_MODULES, 1);
    IqInputOptions options;
    options.sampleRate = 2400000;
    options.centreHz = kCentre;
    options.channels.push_back({kChannel, "", 2});
    std::string error;
    auto source = SelectIqInput("sdr:driver=tolvanefile," + arguments, options, testing::Untimed(), error);
    EXPECT_NE(source, nullptr) << error;
    return source;
}

template <typename Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<EdgeEntry> PopAll(EdgeRing& ring) {
    std::vector<EdgeEntry> edges;
    EdgeEntry entry;
    while (ring.Pop(entry)) edges.push_back(entry);
    return edges;
}

TEST(IqSdr, DecodesWhatTheDeviceDeliversAndNoticesWhenItGoesQuiet) {
    testing::TempDir dir;
    const std::string path = dir / "air.cu8";
    const std::vector<std::string> expected = WriteRecording(path);
    ASSERT_FALSE(expected.empty());
    std::unique_ptr<IqSource> source = Device("path=" + path);
    ASSERT_NE(source, nullptr);
    EdgeRing ring(1u << 20);
    ASSERT_TRUE(source->Attach(ring).Ok());
    // After the recording the device delivers nothing: reported, not a hang.
    ASSERT_TRUE(WaitFor([&] { return !source->Notice().empty(); }));
    EXPECT_NE(source->Notice().find("sdr:driver=tolvanefile"), std::string::npos) << source->Notice();
    EXPECT_NE(source->Notice().find("no samples"), std::string::npos) << source->Notice();
    source->Detach();
    EXPECT_FALSE(source->Finished() && !source->RuntimeError().empty()) << source->RuntimeError();
    EXPECT_EQ(ring.Overruns(), 0u);
    EXPECT_EQ(testing::Receive(PopAll(ring))->messageLines, expected);
}

TEST(IqSdr, ABrokenStreamIsReportedAndTheDeviceOpenedAgain) {
    testing::TempDir dir;
    const std::string path = dir / "air.cu8";
    WriteRecording(path);
    const std::string opens = dir / "opens";
    std::unique_ptr<IqSource> source = Device("path=" + path + ",fail_after=100000,opens=" + opens);
    ASSERT_NE(source, nullptr);
    EdgeRing ring(1u << 20);
    ASSERT_TRUE(source->Attach(ring).Ok());
    auto openCount = [&] {
        std::ifstream in(opens);
        int lines = 0;
        for (std::string line; std::getline(in, line);) ++lines;
        return lines;
    };
    // Broken at once, then opened again after a second, and broken again.
    ASSERT_TRUE(WaitFor([&] { return openCount() >= 2 && !source->Notice().empty(); }));
    EXPECT_NE(source->Notice().find("trying again"), std::string::npos) << source->Notice();
    EXPECT_FALSE(source->Finished());
    // Stopping while it waits to try again returns at once.
    const auto before = std::chrono::steady_clock::now();
    source->Detach();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
}

}  // namespace
}  // namespace tolvane
