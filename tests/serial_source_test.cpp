// The serial-port edge source, on a scripted port: line changes become
// timed entries, failures give their reasons; and through the real calls.
#include "receiver/serial_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <deque>

#include "receiver/edge_ring.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

constexpr std::int64_t kMs = 1'000'000;

// Scripted modem-status changes, given before the source starts: each wait
// ends at its change's time (nanoseconds) with its lines, or with a negated
// errno. The script must end with a failure, which ends the source.
class ScriptedPort : public SerialPortOps {
public:
    struct Change {
        std::int64_t at;
        int lines;
        int error = 0;
    };
    int openResult = 3, lockResult = 0, raiseResult = 0, countResult = 0, raised = 0, closes = 0, lines = 0;
    std::deque<Change> script;

    int Open(const std::string&) override { return openResult; }
    int Close(int) override { return ++closes, 0; }
    int Lock(int) override { return lockResult; }
    int RaiseLines(int, int which) override { return raised = which, raiseResult; }
    int ReadLines(int, int& out) override { return out = lines, 0; }
    int CountChanges(int) override { return countResult; }
    int WaitForChange(int, int) override {
        const Change c = script.front();
        script.pop_front();
        now_ = c.at;
        if (c.error == 0) lines = c.lines;
        return c.error;
    }
    std::int64_t MonotonicNanoseconds() override { return now_; }
    void Interrupt(std::thread&) override {}

private:
    std::int64_t now_ = 0;
};

std::uint64_t Ticks(std::int64_t nanoseconds) {
    return static_cast<std::uint64_t>(std::llround(static_cast<double>(nanoseconds) * 1e-9 / kTickSeconds));
}

// The entries, merging split runs of one state: (state, total ticks).
std::vector<std::pair<std::uint8_t, std::uint64_t>> Runs(const std::vector<EdgeEntry>& entries) {
    std::vector<std::pair<std::uint8_t, std::uint64_t>> runs;
    for (const EdgeEntry& e : entries) {
        EXPECT_GT(e.duration, 0);
        if (!runs.empty() && runs.back().first == e.lineState) {
            runs.back().second += e.duration;
        } else {
            runs.emplace_back(e.lineState, e.duration);
        }
    }
    return runs;
}

// Line changes become entries; a change of RI only rides along, the same
// lines again give nothing. An unplugged adapter (the wait fails) hands
// over the state so far and ends the source with the reason; a driver
// that refuses the wait itself says it cannot attach.
TEST(SerialSource, LineChangesBecomeTimedEntriesUntilTheWaitFails) {
    for (const int error : {-EIO, -ENXIO, -ENODEV, -ENOTTY}) {
        auto owned = std::make_unique<ScriptedPort>();
        ScriptedPort& port = *owned;
        port.script = {{1 * kMs, TIOCM_CTS},
                       {3 * kMs / 2, TIOCM_CTS | TIOCM_DSR},
                       {2 * kMs, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG},
                       {2 * kMs + 100'000, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG},
                       {3 * kMs, TIOCM_CD},
                       {200 * kMs, 0},  // after a long steady DCD, split into pieces
                       {201 * kMs, 0, error}};
        SerialSource source("/dev/ttyUSB9", std::move(owned));
        EdgeRing ring;
        ASSERT_TRUE(source.Attach(ring).Ok());
        EXPECT_EQ(port.raised, TIOCM_DTR | TIOCM_RTS);
        const std::vector<std::pair<std::uint8_t, std::uint64_t>> expected = {
            {0, Ticks(1 * kMs)},
            {kLineCTS, Ticks(3 * kMs / 2) - Ticks(1 * kMs)},
            {kLineCTS | kLineDSR, Ticks(2 * kMs) - Ticks(3 * kMs / 2)},
            {kLineCTS | kLineDSR | kLineRI, Ticks(3 * kMs) - Ticks(2 * kMs)},
            {kLineDCD, Ticks(200 * kMs) - Ticks(3 * kMs)},
            {0, Ticks(201 * kMs) - Ticks(200 * kMs)},
        };
        EXPECT_EQ(Runs(testing::Drain(source, ring)), expected);
        const std::string reason = error == -ENOTTY ? std::string(AttachErrorMessage(AttachError::CannotAttach))
                                                    : "/dev/ttyUSB9: the serial port went away";
        EXPECT_NE(source.RuntimeError().find(reason), std::string::npos) << source.RuntimeError();
        source.Detach();
        EXPECT_EQ(port.closes, 1);
    }
}

TEST(SerialSource, AttachFailuresGiveTheirMessages) {
    struct Case {
        const char* what;
        void (*set)(ScriptedPort&);
        AttachError error;
        int closes;
    };
    const Case cases[] = {
        {"no such device", [](ScriptedPort& p) { p.openResult = -ENOENT; }, AttachError::CannotOpen, 0},
        {"no permission", [](ScriptedPort& p) { p.openResult = -EACCES; }, AttachError::CannotOpen, 0},
        {"busy at open", [](ScriptedPort& p) { p.openResult = -EBUSY; }, AttachError::AlreadyInUse, 0},
        {"locked by another", [](ScriptedPort& p) { p.lockResult = -EWOULDBLOCK; }, AttachError::AlreadyInUse, 1},
        {"not a serial port", [](ScriptedPort& p) { p.raiseResult = -ENOTTY; }, AttachError::CannotAttach, 1},
        {"no change reports", [](ScriptedPort& p) { p.countResult = -EINVAL; }, AttachError::CannotAttach, 1},
    };
    for (const Case& c : cases) {
        auto owned = std::make_unique<ScriptedPort>();
        ScriptedPort& port = *owned;
        c.set(port);
        SerialSource source("/dev/ttyTEST", std::move(owned));
        EdgeRing ring;
        const AttachStatus status = source.Attach(ring);
        EXPECT_EQ(status.error, c.error) << c.what << ": " << status.Describe();
        EXPECT_NE(status.detail.find("/dev/ttyTEST"), std::string::npos) << c.what;
        EXPECT_EQ(port.closes, c.closes) << c.what;
        EXPECT_TRUE(ring.Empty());
    }
}

// Through the real calls: Detach wakes a thread blocked in an interruptible
// system call; a pseudo-terminal has no modem-status lines, and a missing
// device cannot be opened.
TEST(SerialSource, RealCalls) {
    class BlockingPort : public ScriptedPort {
    public:
        int WaitForChange(int, int) override {
            ::pause();  // returns only when a signal handler has run
            return -errno;
        }
        void Interrupt(std::thread& thread) override { real->Interrupt(thread); }
        std::unique_ptr<SerialPortOps> real = MakeSystemSerialPortOps();
    };
    EdgeRing ring;
    SerialSource blocked("/dev/ttyTEST", std::make_unique<BlockingPort>());
    ASSERT_TRUE(blocked.Attach(ring).Ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it block
    blocked.Detach();
    EXPECT_TRUE(blocked.Finished());

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    SerialSource pty(::ptsname(master));
    EXPECT_EQ(pty.Attach(ring).error, AttachError::CannotAttach);
    pty.Detach();
    ::close(master);
    SerialSource missing("/dev/tolvane-no-such-port");
    EXPECT_EQ(missing.Attach(ring).error, AttachError::CannotOpen);
}

}  // namespace
}  // namespace tolvane
