// An input session driven the way the desktop program's timer drives it:
// start, polls, the end of a recording, a failure, re-attaching.
#include "engine/input_session.h"

#include <gtest/gtest.h>

#include "receiver/edge_ring.h"
#include "receiver/edge_source.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

// A recording handed over at once on attach; what happens next is set by
// the test.
class ScriptedSource : public EdgeSource {
public:
    AttachStatus Attach(EdgeRing& ring) override {
        if (refuse) return {AttachError::CannotOpen, "/dev/ttyS9: No such file or directory"};
        for (const EdgeEntry& e : edges) EXPECT_TRUE(ring.TryPush(e));
        attached = true;
        return {};
    }
    void Detach() override { attached = false; }
    bool Finished() const override { return finished; }
    std::string RuntimeError() const override { return runtimeError; }

    std::vector<EdgeEntry> edges;
    bool refuse = false;
    bool finished = false;
    bool attached = false;
    std::string runtimeError;
};

class InputSessionTimer : public ::testing::TestWithParam<bool> {};

TEST_P(InputSessionTimer, StartPollEndFailReattach) {
    const bool realtime = GetParam();
    Settings settings;
    settings.Timestamp = 0;
    testing::TestRig rig(settings);
    ScriptedSource source;
    source.edges = testing::ToEdges(testing::Encode({"pocsag:1200:1234567:3:alpha:Timer"}));
    InputSession session(*rig.engine);

    // Polling before a start does nothing.
    EXPECT_EQ(session.Poll(), SessionState::Idle);
    ASSERT_TRUE(session.Start(source, realtime));
    int polls = 0;
    for (; polls < 3; ++polls) EXPECT_EQ(session.Poll(), SessionState::Running);
    source.finished = true;
    while (session.Poll() == SessionState::Running && polls < 1000) ++polls;
    // A recording is drained 100 ms per poll, live input all at once.
    double ticks = 0;
    for (const EdgeEntry& e : source.edges) ticks += e.duration / kEdgeTicksPerTimerTick;
    EXPECT_TRUE(realtime ? polls <= 4 : polls + 1 >= static_cast<int>(ticks)) << polls;
    EXPECT_EQ(session.State(), SessionState::Ended);
    EXPECT_TRUE(session.Error().empty());
    EXPECT_FALSE(source.attached);
    EXPECT_EQ(rig.messageLines, std::vector<std::string>{"{1234567} 4 1200 Timer"});

    // Re-attached, the input fails while running: one line, and the page
    // it delivered before is still completed.
    source.runtimeError = "/dev/ttyUSB0: device unplugged";
    ASSERT_TRUE(session.Restart());
    while (session.Poll() == SessionState::Running) continue;
    EXPECT_EQ(session.State(), SessionState::Failed);
    EXPECT_EQ(session.Error(), source.runtimeError);
    EXPECT_EQ(rig.messageLines.size(), 2u);

    // An input that cannot be attached.
    source.refuse = true;
    EXPECT_FALSE(session.Restart());
    EXPECT_EQ(session.State(), SessionState::Failed);
    EXPECT_EQ(session.Error(), (AttachStatus{AttachError::CannotOpen, "/dev/ttyS9: No such file or directory"}.Describe()));

    // Stopped while running: detached, no page finished, polls do nothing.
    source.refuse = false;
    source.finished = false;
    source.runtimeError.clear();
    ASSERT_TRUE(session.Restart());
    session.Stop();
    EXPECT_FALSE(source.attached);
    EXPECT_EQ(session.Poll(), SessionState::Idle);
}

// Edges a live source loses to a full ring are told once per burst: when a
// poll finds no new losses, or when the input ends.
TEST(InputSession, TellsOfLostEdgesOncePerBurst) {
    testing::TestRig rig;
    ScriptedSource source;
    InputSession session(*rig.engine);
    ASSERT_TRUE(session.Start(source, true));
    EdgeRing& ring = rig.engine->Ring();
    const auto lose = [&](int lost) {
        while (ring.TryPush({1000, 0})) continue;
        for (int i = 0; i < lost; ++i) EXPECT_FALSE(ring.Push({1000, 0}));
    };
    const auto told = [&] {
        std::vector<std::string> lines;
        for (const std::string& m : rig.messages.messages)
            if (m.starts_with("Input overrun")) lines.push_back(m);
        return lines;
    };
    lose(5);
    session.Poll();
    lose(2);
    session.Poll();
    EXPECT_TRUE(told().empty());
    session.Poll();
    session.Poll();
    lose(3);
    source.finished = true;
    EXPECT_EQ(session.Poll(), SessionState::Ended);
    EXPECT_EQ(told(), (std::vector<std::string>{"Input overrun: 7 edges lost, the decoder fell behind the input",
                                                "Input overrun: 3 edges lost, the decoder fell behind the input"}));
}

INSTANTIATE_TEST_SUITE_P(Pacing, InputSessionTimer, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Realtime" : "Recorded"; });

}  // namespace
}  // namespace tolvane
