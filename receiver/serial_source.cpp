#include "receiver/serial_source.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "receiver/edge_codec.h"
#include "receiver/edge_ring.h"

namespace tolvane {

namespace {

constexpr int kWaitedLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
// Linux's internal "no such ioctl" code, which some drivers leak.
constexpr int kNoIoctlCommand = 515;

void IgnoreWake(int) {}

int WakeSignal() { return SIGRTMIN + 2; }

class SystemSerialPortOps : public SerialPortOps {
public:
    SystemSerialPortOps() {
        // Interrupts a blocked TIOCMIWAIT: the handler does nothing, and
        // without SA_RESTART the call returns EINTR.
        struct sigaction action {};
        action.sa_handler = IgnoreWake;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(WakeSignal(), &action, nullptr);
    }

    int Open(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }
    int Close(int fd) override { return ::close(fd) == 0 ? 0 : -errno; }
    int Lock(int fd) override {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return -errno;
        ::ioctl(fd, TIOCEXCL);  // best effort: refuse further opens
        return 0;
    }
    int RaiseLines(int fd, int lines) override { return ::ioctl(fd, TIOCMBIS, &lines) == 0 ? 0 : -errno; }
    int ReadLines(int fd, int& lines) override { return ::ioctl(fd, TIOCMGET, &lines) == 0 ? 0 : -errno; }
    int CountChanges(int fd) override {
        serial_icounter_struct counts{};
        return ::ioctl(fd, TIOCGICOUNT, &counts) == 0 ? 0 : -errno;
    }
    int WaitForChange(int fd, int lines) override {
        return ::ioctl(fd, TIOCMIWAIT, static_cast<unsigned long>(lines)) == 0 ? 0 : -errno;
    }
    std::int64_t MonotonicNanoseconds() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    }
    void Interrupt(std::thread& thread) override { pthread_kill(thread.native_handle(), WakeSignal()); }
};

bool Unsupported(int error) {
    return error == ENOTTY || error == EINVAL || error == ENOSYS || error == kNoIoctlCommand;
}

std::string Detail(const std::string& device, const char* what, int error) {
    return device + ": " + what + " (" + std::strerror(error) + ")";
}

}  // namespace

std::unique_ptr<SerialPortOps> MakeSystemSerialPortOps() { return std::make_unique<SystemSerialPortOps>(); }

std::uint8_t ModemLinesToState(int lines) {
    std::uint8_t state = 0;
    if (lines & TIOCM_CTS) state |= kLineCTS;
    if (lines & TIOCM_DSR) state |= kLineDSR;
    if (lines & TIOCM_RNG) state |= kLineRI;
    if (lines & TIOCM_CD) state |= kLineDCD;
    return state;
}

SerialSource::SerialSource(std::string device, std::unique_ptr<SerialPortOps> ops)
    : device_(std::move(device)), ops_(std::move(ops)) {}

SerialSource::~SerialSource() { Detach(); }

void SerialSource::CloseFd() {
    if (fd_ >= 0) ops_->Close(fd_);
    fd_ = -1;
}

AttachStatus SerialSource::Attach(EdgeRing& ring) {
    Detach();
    AttachStatus status;
    const int fd = ops_->Open(device_);
    if (fd < 0) {
        status.error = -fd == EBUSY ? AttachError::AlreadyInUse : AttachError::CannotOpen;
        status.detail = device_ + ": " + std::strerror(-fd);
        return status;
    }
    fd_ = fd;
    int result = ops_->Lock(fd_);
    if (result == -EWOULDBLOCK || result == -EAGAIN || result == -EBUSY) {
        status.error = AttachError::AlreadyInUse;
        status.detail = Detail(device_, "held by another program", -result);
    } else if ((result = ops_->RaiseLines(fd_, TIOCM_DTR | TIOCM_RTS)) < 0 || (result = ops_->ReadLines(fd_, lines_)) < 0) {
        status.error = AttachError::CannotAttach;
        status.detail = Detail(device_, "not a serial port with modem-status lines", -result);
    } else if ((result = ops_->CountChanges(fd_)) < 0) {
        status.error = AttachError::CannotAttach;
        status.detail = Detail(device_, "the port cannot report modem-status changes", -result);
    }
    if (!status.Ok()) {
        CloseFd();
        return status;
    }
    startNanoseconds_ = ops_->MonotonicNanoseconds();
    status = thread_.Start([this, &ring] { Run(ring); });
    if (!status.Ok()) CloseFd();
    return status;
}

void SerialSource::Detach() {
    thread_.Stop([this](std::thread& thread) { ops_->Interrupt(thread); });
    CloseFd();
}

void SerialSource::Run(EdgeRing& ring) {
    std::uint8_t state = ModemLinesToState(lines_);
    std::uint64_t emitted = 0;  // ticks since the attach handed to the ring
    const auto emitUntil = [&](std::int64_t nanoseconds) {
        const double ticks = static_cast<double>(nanoseconds - startNanoseconds_) * 1e-9 / kTickSeconds;
        const auto end = static_cast<std::uint64_t>(std::llround(std::max(0.0, ticks)));
        SplitRun(end > emitted ? end - emitted : 0, state, [&ring](EdgeEntry entry) { ring.Push(entry); });
        if (end > emitted) emitted = end;
    };
    while (!thread_.StopRequested()) {
        const int result = ops_->WaitForChange(fd_, kWaitedLines);
        const std::int64_t now = ops_->MonotonicNanoseconds();
        if (result == -EINTR) continue;
        int lines = 0;
        const int read = result < 0 ? result : ops_->ReadLines(fd_, lines);
        if (read < 0) {
            if (thread_.StopRequested()) break;
            emitUntil(now);
            if (Unsupported(-read)) {
                AttachStatus status{AttachError::CannotAttach,
                                    Detail(device_, "the port cannot wait for modem-status changes", -read)};
                thread_.Fail(status.Describe());
            } else {
                thread_.Fail(Detail(device_, "the serial port went away", -read));
            }
            break;
        }
        const std::uint8_t next = ModemLinesToState(lines);
        if (next == state) continue;  // a pulse shorter than our wake-up
        emitUntil(now);
        state = next;
    }
}

}  // namespace tolvane
