#include "receiver/fifo_source.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "receiver/edge_codec.h"

namespace tolvane {

namespace {

// Short enough for a prompt stop, long enough not to spin.
constexpr int kWaitMilliseconds = 100;

enum class Wait { Ready, Stopped, Failed };

// Waits until fd is ready for `events` (or its other end has gone), in
// short steps that watch the stop flag.
Wait WaitFor(int fd, short events, const SourceThread& thread) {
    for (;;) {
        if (thread.StopRequested()) return Wait::Stopped;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, kWaitMilliseconds);
        if (ready > 0) return Wait::Ready;
        if (ready < 0 && errno != EINTR) return Wait::Failed;
    }
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string Problem(const std::string& path) {
    return AttachStatus{AttachError::CannotOpenRecording, path + ": " + std::strerror(errno)}.Describe();
}

}  // namespace

FifoSource::FifoSource(std::string path, SourceForStart sourceFor)
    : path_(std::move(path)), sourceFor_(std::move(sourceFor)) {}

FifoSource::~FifoSource() { Detach(); }

AttachStatus FifoSource::Attach(EdgeRing& ring) {
    Detach();
    return opener_.Start([this, &ring] { Open(ring); });
}

void FifoSource::Detach() {
    // The pump first: its pipe ends, so whatever reads it stops waiting,
    // even the opening thread in the attach of its source. Once asked to
    // stop, the opening thread starts no pump.
    opener_.RequestStop();
    {
        std::lock_guard lock(pumpMutex_);
        pump_.Stop();
        CloseFd(pipeWrite_);
    }
    opener_.Stop();
    if (inner_) inner_->Detach();
    inner_.reset();
    CloseFd(pipeRead_);
    CloseFd(fifo_);
}

bool FifoSource::Finished() const {
    if (!opener_.Finished()) return false;
    return inner_ == nullptr || inner_->Finished();
}

std::string FifoSource::RuntimeError() const {
    if (std::string failure = opener_.Failure(); !failure.empty()) return failure;
    if (std::string failure = pump_.Failure(); !failure.empty()) return failure;
    const EdgeSource* inner = Inner();
    return inner != nullptr ? inner->RuntimeError() : std::string();
}

std::vector<std::string> FifoSource::TakeNotices() {
    EdgeSource* inner = Inner();
    return inner != nullptr ? inner->TakeNotices() : std::vector<std::string>();
}

void FifoSource::Open(EdgeRing& ring) {
    // Never waits in open: a FIFO opened without O_NONBLOCK would hold the
    // thread until a writer comes, deaf to a stop.
    fifo_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fifo_ < 0) {
        opener_.Fail(Problem(path_));
        return;
    }
    char start[sizeof kEdgeFileMagic];
    std::size_t have = 0;
    while (have < sizeof start) {
        const Wait wait = WaitFor(fifo_, POLLIN, opener_);
        if (wait == Wait::Stopped) return;
        const ssize_t got = wait == Wait::Ready ? ::read(fifo_, start + have, sizeof start - have) : -1;
        if (got == 0) break;  // the writer left
        if (got < 0) {
            if (wait == Wait::Ready && (errno == EAGAIN || errno == EINTR)) continue;
            opener_.Fail(Problem(path_));
            return;
        }
        have += static_cast<std::size_t>(got);
    }
    if (have == 0) return;  // a writer that wrote nothing: an empty recording

    AttachStatus status;
    {
        std::lock_guard lock(pumpMutex_);
        if (opener_.StopRequested()) return;
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            opener_.Fail(Problem(path_));
            return;
        }
        pipeRead_ = ends[0];
        pipeWrite_ = ends[1];
        // An empty pipe takes these few bytes at once.
        if (::write(pipeWrite_, start, have) != static_cast<ssize_t>(have) ||
            ::fcntl(pipeWrite_, F_SETFL, O_NONBLOCK) != 0) {
            opener_.Fail(Problem(path_));
            return;
        }
        status = pump_.Start([this] { Pump(); });
    }
    if (status.Ok()) {
        std::unique_ptr<EdgeSource> inner =
            sourceFor_("/dev/fd/" + std::to_string(pipeRead_), std::string_view(start, have));
        status = inner->Attach(ring);
        if (status.Ok()) inner_ = std::move(inner);
    }
    if (!status.Ok() && !opener_.StopRequested()) {
        // Its reason names the pipe: name the FIFO instead.
        const std::string pipe = "/dev/fd/" + std::to_string(pipeRead_);
        if (status.detail.rfind(pipe, 0) == 0) status.detail.replace(0, pipe.size(), path_);
        opener_.Fail(status.Describe());
    }
}

void FifoSource::Pump() {
    char buffer[1 << 16];
    for (;;) {
        const Wait readable = WaitFor(fifo_, POLLIN, pump_);
        if (readable == Wait::Stopped) break;
        const ssize_t got = readable == Wait::Ready ? ::read(fifo_, buffer, sizeof buffer) : -1;
        if (got == 0) break;  // the writer is done: the recording ends here
        if (got < 0) {
            if (readable == Wait::Ready && (errno == EAGAIN || errno == EINTR)) continue;
            pump_.Fail(Problem(path_));
            break;
        }
        for (ssize_t done = 0; done < got;) {
            const Wait writable = WaitFor(pipeWrite_, POLLOUT, pump_);
            if (writable == Wait::Stopped) return;
            const ssize_t put = ::write(pipeWrite_, buffer + done, static_cast<std::size_t>(got - done));
            if (put > 0) {
                done += put;
            } else if (writable == Wait::Failed || (errno != EAGAIN && errno != EINTR)) {
                return;  // the reading side has gone: it ended on its own
            }
        }
    }
    // The end of the recording: the reading side sees the pipe end.
    CloseFd(pipeWrite_);
}

}  // namespace tolvane
