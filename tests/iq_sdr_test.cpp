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
#include "support/iq_loopback.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

constexpr double kCentre = 153.0e6;
constexpr double kChannel = 153.1e6;

// A cu8 recording of one POCSAG page at kChannel, played by the test
// module with `arguments` as the live source, attached to a ring.
class IqSdr : public ::testing::Test {
protected:
    void Open(const std::string& arguments) {
        const gen::IqCarrier carrier = testing::Carrier({"pocsag:1200:1234567:3:alpha:Live through SoapySDR"}, kChannel);
        expected = testing::CleanLines(carrier);
        ASSERT_FALSE(expected.empty());
        gen::IqOptions recording;
        recording.centreHz = kCentre;
        recording.cnrDb = 30;
        std::string error;
        ASSERT_TRUE(gen::WriteIqFile(dir / "air.cu8", {carrier}, recording, error)) << error;
        setenv("SOAPY_SDR_PLUGIN_PATH", TOLVANE_SOAPY_MODULES, 1);
        Settings settings = testing::Untimed();
        settings.Iq.SampleRate = 2400000;
        settings.Iq.CenterHz = kCentre;
        settings.Iq.Channels.push_back({kChannel, "", 2});
        source = SelectIqInput("sdr:driver=tolvanefile,path=" + dir / "air.cu8" + arguments, settings, false, error);
        ASSERT_NE(source, nullptr) << error;
        ASSERT_TRUE(source->Attach(ring).Ok());
    }

    testing::TempDir dir;
    std::vector<std::string> expected;  // the edge path's lines
    std::unique_ptr<IqSource> source;
    EdgeRing ring{1u << 20};
};

template <typename Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST_F(IqSdr, DecodesWhatTheDeviceDeliversAndNoticesWhenItGoesQuiet) {
    Open("");
    // After the recording the device delivers nothing: reported, not a hang.
    ASSERT_TRUE(WaitFor([&] { return !source->Notice().empty(); }));
    EXPECT_NE(source->Notice().find("sdr:driver=tolvanefile"), std::string::npos) << source->Notice();
    EXPECT_NE(source->Notice().find("no samples"), std::string::npos) << source->Notice();
    source->Detach();
    EXPECT_FALSE(source->Finished() && !source->RuntimeError().empty()) << source->RuntimeError();
    EXPECT_EQ(ring.Overruns(), 0u);
    std::vector<EdgeEntry> edges;
    for (EdgeEntry entry; ring.Pop(entry);) edges.push_back(entry);
    EXPECT_EQ(testing::Receive(edges)->messageLines, expected);
}

TEST_F(IqSdr, ABrokenStreamIsReportedAndTheDeviceOpenedAgain) {
    const std::string opens = dir / "opens";
    Open(",fail_after=100000,opens=" + opens);
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
