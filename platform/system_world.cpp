#include "platform/system_world.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace tolvane {

std::time_t SystemClock::Now() const { return std::time(nullptr); }

LocalTime SystemClock::Local() const { return LocalTimeOf(Now()); }

std::int64_t SystemClock::NowMilliseconds() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

int SystemClock::UtcOffsetMinutes() const { return UtcOffsetMinutesAt(Now()); }

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "tolvane";
    return name;
}

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Whether the regular file at path ends with a line break (or cannot be
// read, so that nothing is added on a guess).
bool EndsWithLineBreak(const std::string& path, off_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return true;
    char last = '\n';
    const bool cut = ::pread(fd, &last, 1, size - 1) == 1 && last != '\n';
    ::close(fd);
    return !cut;
}

}  // namespace

bool TakeBackPartialLine(int fd, std::size_t written) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    const auto part = static_cast<off_t>(written);
    return end >= part && ::ftruncate(fd, end - part) == 0 && ::lseek(fd, end - part, SEEK_SET) >= 0;
}

std::string SystemClock::TimeOfDayText() const { return FormatLocalTime(Now(), "%X"); }

std::string SystemClock::DateText() const { return FormatLocalTime(Now(), "%x"); }

AppendFile::~AppendFile() {
    Flush();
    ::close(fd_);
}

ssize_t AppendFile::WriteOnce(std::string_view text) {
    // A reader that went away must not kill the program: SIGPIPE is held
    // back around the write and a signal it caused is taken off again.
    sigset_t pipeSignal;
    sigset_t saved;
    bool wasPending = false;
    if (isPipe_) {
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        sigset_t pending;
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &saved);
        wasPending = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    }
    ssize_t n;
    do {
        n = ::write(fd_, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    if (isPipe_) {
        if (n < 0 && error == EPIPE && !wasPending) {
            const timespec noWait{};
            while (::sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    }
    errno = error;
    return n;
}

bool AppendFile::WriteSome(std::string_view text) {
    ssize_t n = WriteOnce(text);
    if (n >= 0 && static_cast<std::size_t>(n) < text.size() && !isPipe_) {
        // A file takes a short write only when it is full (or at its size
        // limit); the rest fails and says why.
        const ssize_t more = WriteOnce(text.substr(static_cast<std::size_t>(n)));
        const int error = errno;
        if (more > 0) n += more;
        if (static_cast<std::size_t>(n) == text.size()) return true;
        // If the part that went in cannot be taken back, the next line
        // starts on a line of its own.
        if (!TakeBackPartialLine(fd_, static_cast<std::size_t>(n))) startLine_ = true;
        problem_ = std::strerror(more < 0 ? error : ENOSPC);
        return false;
    }
    if (n < 0) {
        problem_ = errno == EAGAIN ? "the reader does not keep up" : std::strerror(errno);
        return false;
    }
    if (static_cast<std::size_t>(n) < text.size()) {
        // A full pipe took part of it: finished first at the next write, so
        // the line is not cut.
        rest_.assign(text.substr(static_cast<std::size_t>(n)));
        problem_ = "only part of a line was written";
        return false;
    }
    return true;
}

bool AppendFile::Write(std::string_view text) {
    // The end of an earlier line comes first; until it is out, later lines
    // are skipped rather than spliced into it.
    if (!rest_.empty() && !Flush()) return false;
    if (!startLine_) return WriteSome(text);
    // A file left with a cut last line (an earlier run on a full disk, a
    // crash): this text starts on a new line, in the same write.
    joined_.assign(1, '\n');
    joined_ += text;
    const bool ok = WriteSome(joined_);
    if (ok) startLine_ = false;
    return ok;
}

bool AppendFile::Flush() {
    if (rest_.empty()) return true;
    const std::string rest = std::move(rest_);
    rest_.clear();
    return WriteSome(rest);
}

std::unique_ptr<OutputFile> AppendFileOpener::OpenForAppend(const std::string& path, std::string& problem) {
    if (path.empty()) {
        problem = "no file name";
        return nullptr;
    }
    // O_NONBLOCK: a FIFO nobody reads fails at once (ENXIO) instead of
    // holding up the program; O_CLOEXEC: started commands do not inherit it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        problem = errno == ENXIO ? "no program reads from it" : std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    const bool isPipe = ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    auto file = std::make_unique<AppendFile>(fd, isPipe);
    if (S_ISREG(st.st_mode) && st.st_size > 0 && !EndsWithLineBreak(path, st.st_size)) file->StartOnNewLine();
    return file;
}

std::string FindOnPath(const std::string& name) {
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    const std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string_view dir = dirs.substr(start, end - start);
        // An empty entry means the current directory.
        std::string candidate(dir.empty() ? std::string_view(".") : dir);
        candidate += '/';
        candidate += name;
        if (IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

bool SpawnCommandLauncher::Start(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty()) return false;
    const std::string resolved = FindOnPath(program);
    if (resolved.empty()) return false;
    // Everything the children touch is prepared before fork: between fork
    // and exec only async-signal-safe calls are made (other threads may
    // hold locks in the parent).
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    sigset_t noSignals;
    sigemptyset(&noSignals);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        // The intermediate child exits at once so the program is adopted by
        // init and never becomes our zombie.
        ::close(pipeFds[0]);
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::setsid();
            // A fresh start: no blocked or ignored signals, no terminal
            // input, and no way into our standard output (which carries
            // the decoded lines); its messages go to our standard error.
            ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::signal(SIGCHLD, SIG_DFL);
            const int devNull = ::open("/dev/null", O_RDWR);
            if (devNull >= 0) {
                ::dup2(devNull, STDIN_FILENO);
                ::dup2(devNull, STDOUT_FILENO);
                if (devNull > STDOUT_FILENO) ::close(devNull);
            }
            ::execv(resolved.c_str(), argv.data());
            const char failed = 1;
            (void)!::write(pipeFds[1], &failed, 1);
            ::_exit(127);
        }
        if (grandchild < 0) {
            const char failed = 1;
            (void)!::write(pipeFds[1], &failed, 1);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // EOF once exec succeeded (the pipe closes on exec); a byte if it failed.
    char failed = 0;
    ssize_t got;
    do {
        got = ::read(pipeFds[0], &failed, 1);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    return got == 0;
}

bool SystemSoundPlayer::PlayFile(const std::string& path) {
    if (::access(path.c_str(), R_OK) != 0) return false;
    for (const char* player : {"paplay", "pw-play", "aplay"}) {
        if (!FindOnPath(player).empty()) {
            return launcher_.Start(player, player == std::string("aplay") ? std::vector<std::string>{"-q", path}
                                                                          : std::vector<std::string>{path});
        }
    }
    return false;
}

void SystemSoundPlayer::Beep() {
    (void)!::write(STDERR_FILENO, "\a", 1);
}

void StderrMessages::ShowMessage(std::string_view text) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void StderrMessages::FileFailed(const std::string& path, const std::string& reason) {
    ShowMessage(prefix_ + FileFailedText(path, reason));
}

void StderrMessages::FileWorksAgain(const std::string& path) { ShowMessage(prefix_ + FileWorksAgainText(path)); }

void StderrMessages::SetTitle(std::string_view title) {
    if (showTitles_) std::fprintf(stderr, "[%.*s ]\n", static_cast<int>(title.size()), title.data());
}

}  // namespace tolvane
