#include "platform/system_world.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace tolvane {

std::time_t SystemClock::Now() const { return std::time(nullptr); }

LocalTime SystemClock::Local() const {
    const std::time_t now = Now();
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

namespace {

std::string FormatNow(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[41];
    const std::size_t n = std::strftime(text, sizeof text, format, &tm);
    return std::string(text, n);
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string SystemClock::TimeOfDayText() const { return FormatNow("%X"); }

std::string SystemClock::DateText() const { return FormatNow("%x"); }

StdioFile::~StdioFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool StdioFile::Write(std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), file_) == text.size();
}

bool StdioFile::Flush() { return std::fflush(file_) == 0; }

std::unique_ptr<OutputFile> StdioFileOpener::OpenForAppend(const std::string& path) {
    if (path.empty()) return nullptr;
    // "e": close-on-exec, so that started commands do not inherit the log.
    std::FILE* file = std::fopen(path.c_str(), "ae");
    if (file == nullptr) return nullptr;
    return std::make_unique<StdioFile>(file);
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
            // A fresh start: no blocked or ignored signals, no terminal input.
            ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::signal(SIGCHLD, SIG_DFL);
            const int devNull = ::open("/dev/null", O_RDONLY);
            if (devNull >= 0) {
                ::dup2(devNull, STDIN_FILENO);
                if (devNull != STDIN_FILENO) ::close(devNull);
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

void StderrMessages::SetTitle(std::string_view title) {
    if (showTitles_) std::fprintf(stderr, "[%.*s ]\n", static_cast<int>(title.size()), title.data());
}

}  // namespace tolvane
