#include "receiver/serial_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <functional>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "receiver/edge_ring.h"

namespace tolvane {
namespace {

constexpr std::int64_t kMs = 1'000'000;

// Scripted modem-status changes: each one wakes the waiting thread at its
// time with its lines, or with an error.
class ScriptedPort : public SerialPortOps {
public:
    struct Change {
        std::int64_t at;  // nanoseconds
        int lines;
        int error = 0;    // negated errno returned by the wait
    };

    int openResult = 3, lockResult = 0, raiseResult = 0, countResult = 0;
    int raised = 0;
    int closes = 0;
    int lines = 0;

    void Add(Change change) {
        std::lock_guard lock(mutex_);
        script_.push_back(change);
        wake_.notify_all();
    }
    bool Drained() {
        std::lock_guard lock(mutex_);
        return script_.empty() && waiting_;
    }

    int Open(const std::string&) override { return openResult; }
    int Close(int) override {
        ++closes;
        return 0;
    }
    int Lock(int) override { return lockResult; }
    int RaiseLines(int, int which) override {
        raised = which;
        return raiseResult;
    }
    int ReadLines(int, int& out) override {
        std::lock_guard lock(mutex_);
        out = lines;
        return 0;
    }
    int CountChanges(int) override { return countResult; }
    int WaitForChange(int, int) override {
        std::unique_lock lock(mutex_);
        waiting_ = true;
        wake_.wait(lock, [&] { return !script_.empty() || interrupted_; });
        waiting_ = false;
        if (interrupted_) {
            interrupted_ = false;
            return -EINTR;
        }
        const Change c = script_.front();
        script_.pop_front();
        now_ = c.at;
        if (c.error != 0) return c.error;
        lines = c.lines;
        return 0;
    }
    std::int64_t MonotonicNanoseconds() override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void Interrupt(std::thread&) override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        wake_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Change> script_;
    bool interrupted_ = false;
    bool waiting_ = false;
    std::int64_t now_ = 0;
};

std::uint64_t Ticks(std::int64_t nanoseconds) {
    return static_cast<std::uint64_t>(std::llround(static_cast<double>(nanoseconds) * 1e-9 / kTickSeconds));
}

// Pops everything, merging split runs of one state: (state, total ticks).
std::vector<std::pair<std::uint8_t, std::uint64_t>> Runs(EdgeRing& ring) {
    std::vector<std::pair<std::uint8_t, std::uint64_t>> runs;
    EdgeEntry e;
    while (ring.Pop(e)) {
        EXPECT_GT(e.duration, 0);
        if (!runs.empty() && runs.back().first == e.lineState) {
            runs.back().second += e.duration;
        } else {
            runs.emplace_back(e.lineState, e.duration);
        }
    }
    return runs;
}

void WaitUntil(const std::function<bool()>& done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(SerialSource, LineChangesBecomeTimedEntries) {
    auto owned = std::make_unique<ScriptedPort>();
    ScriptedPort& port = *owned;
    SerialSource source("/dev/ttyTEST", std::move(owned));
    EdgeRing ring;
    ASSERT_TRUE(source.Attach(ring).Ok());
    EXPECT_EQ(port.raised, TIOCM_DTR | TIOCM_RTS);

    port.Add({1 * kMs, TIOCM_CTS});
    port.Add({3 * kMs / 2, TIOCM_CTS | TIOCM_DSR});
    port.Add({2 * kMs, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG});  // RI rides along
    port.Add({2 * kMs + 100'000, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG});  // no change of lines: no entry
    port.Add({3 * kMs, TIOCM_CD});
    port.Add({200 * kMs, 0});  // a long steady DCD, split into pieces
    WaitUntil([&] { return port.Drained(); });
    source.Detach();

    const std::vector<std::pair<std::uint8_t, std::uint64_t>> expected = {
        {0, Ticks(1 * kMs)},
        {kLineCTS, Ticks(3 * kMs / 2) - Ticks(1 * kMs)},
        {kLineCTS | kLineDSR, Ticks(2 * kMs) - Ticks(3 * kMs / 2)},
        {kLineCTS | kLineDSR | kLineRI, Ticks(3 * kMs) - Ticks(2 * kMs)},
        {kLineDCD, Ticks(200 * kMs) - Ticks(3 * kMs)},
    };
    EXPECT_EQ(Runs(ring), expected);
    EXPECT_EQ(port.closes, 1);
    EXPECT_TRUE(source.RuntimeError().empty());
}

// An unplugged adapter: the wait fails; the state so far is handed over and
// the source ends with the reason.
TEST(SerialSource, VanishedPortEndsTheSource) {
    for (const int error : {-EIO, -ENXIO, -ENODEV}) {
        auto owned = std::make_unique<ScriptedPort>();
        ScriptedPort& port = *owned;
        SerialSource source("/dev/ttyUSB9", std::move(owned));
        EdgeRing ring;
        ASSERT_TRUE(source.Attach(ring).Ok());
        port.Add({5 * kMs, TIOCM_CD});
        port.Add({9 * kMs, 0, error});
        WaitUntil([&] { return source.Finished(); });
        ASSERT_TRUE(source.Finished());
        EXPECT_NE(source.RuntimeError().find("/dev/ttyUSB9: the serial port went away"), std::string::npos)
            << source.RuntimeError();
        const std::vector<std::pair<std::uint8_t, std::uint64_t>> expected = {
            {0, Ticks(5 * kMs)}, {kLineDCD, Ticks(9 * kMs) - Ticks(5 * kMs)}};
        EXPECT_EQ(Runs(ring), expected);
        source.Detach();
    }
}

TEST(SerialSource, AttachFailuresGiveTheirMessages) {
    struct Case {
        const char* what;
        void (*set)(ScriptedPort&);
        AttachError error;
    };
    const Case cases[] = {
        {"no such device", [](ScriptedPort& p) { p.openResult = -ENOENT; }, AttachError::CannotOpen},
        {"no permission", [](ScriptedPort& p) { p.openResult = -EACCES; }, AttachError::CannotOpen},
        {"busy at open", [](ScriptedPort& p) { p.openResult = -EBUSY; }, AttachError::AlreadyInUse},
        {"locked by another", [](ScriptedPort& p) { p.lockResult = -EWOULDBLOCK; }, AttachError::AlreadyInUse},
        {"not a serial port", [](ScriptedPort& p) { p.raiseResult = -ENOTTY; }, AttachError::CannotAttach},
        {"no change reports", [](ScriptedPort& p) { p.countResult = -EINVAL; }, AttachError::CannotAttach},
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
        EXPECT_EQ(port.closes, c.error == AttachError::CannotOpen || c.what == std::string("busy at open") ? 0 : 1)
            << c.what;
        EXPECT_TRUE(ring.Empty());
    }

    // A driver that refuses the wait itself.
    auto owned = std::make_unique<ScriptedPort>();
    ScriptedPort& port = *owned;
    SerialSource source("/dev/ttyTEST", std::move(owned));
    EdgeRing ring;
    ASSERT_TRUE(source.Attach(ring).Ok());
    port.Add({1 * kMs, 0, -ENOTTY});
    WaitUntil([&] { return source.Finished(); });
    EXPECT_EQ(source.RuntimeError().rfind(std::string(AttachErrorMessage(AttachError::CannotAttach)), 0), 0u)
        << source.RuntimeError();
}

// The real wake-up: a thread blocked in an interruptible system call leaves
// it when Detach signals it.
TEST(SerialSource, DetachWakesABlockedWait) {
    class BlockingPort : public ScriptedPort {
    public:
        int WaitForChange(int, int) override {
            ::pause();  // returns only when a signal handler has run
            return -errno;
        }
        void Interrupt(std::thread& thread) override { real->Interrupt(thread); }
        std::unique_ptr<SerialPortOps> real = MakeSystemSerialPortOps();
    };
    SerialSource source("/dev/ttyTEST", std::make_unique<BlockingPort>());
    EdgeRing ring;
    ASSERT_TRUE(source.Attach(ring).Ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it block
    source.Detach();
    EXPECT_TRUE(source.Finished());
}

// Through the real calls: a pseudo-terminal has no modem-status lines, and a
// missing device cannot be opened.
TEST(SerialSource, RealPortsThatCannotWork) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string pty = ::ptsname(master);
    EdgeRing ring;
    {
        SerialSource source(pty);
        const AttachStatus status = source.Attach(ring);
        EXPECT_EQ(status.error, AttachError::CannotAttach) << status.Describe();
        source.Detach();
    }
    ::close(master);
    SerialSource missing("/dev/tolvane-no-such-port");
    EXPECT_EQ(missing.Attach(ring).error, AttachError::CannotOpen);
}

}  // namespace
}  // namespace tolvane
