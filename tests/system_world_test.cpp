// The real outside world: programs started with an exact argument vector
// and not waited for, files appended to, sound players looked up.
#include "platform/system_world.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/loopback.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class SystemWorld : public ::testing::Test {
protected:
    std::string Script(const std::string& name, const std::string& body) {
        std::ofstream(dir_ / name) << "#!/bin/sh\n" << body;
        fs::permissions(dir_ / name, fs::perms::owner_all);
        return dir_ / name;
    }

    testing::TempDir dir_;
    AppendFileOpener opener_;
    std::string problem_;
};

TEST_F(SystemWorld, LauncherPassesTheExactArgumentsAndDoesNotWait) {
    // The script only writes once the test lets it: if Start waited for it,
    // the script would give up first and write "timeout".
    const std::string d = "'" + dir_ / "";
    const std::string program = Script("record.sh", "i=0\nwhile [ ! -e " + d + "/go' ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done\n"
                                                    "if [ -e " + d + "/go' ]; then printf '[%s]\\n' \"$@\"; else echo timeout; fi > " +
                                                    d + "/out.tmp'\nmv " + d + "/out.tmp' " + d + "/out'\n");
    SpawnCommandLauncher launcher;
    ASSERT_TRUE(launcher.Start(program, {"1234567", "Fire Dept", "\"; rm -rf ~ #", "$(id) `id` *", ""}));
    EXPECT_FALSE(fs::exists(dir_ / "out"));
    std::ofstream(dir_ / "go") << "";
    for (int i = 0; i < 2000 && !fs::exists(dir_ / "out"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(testing::ReadFile(dir_ / "out"), "[1234567]\n[Fire Dept]\n[\"; rm -rf ~ #]\n[$(id) `id` *]\n[]\n");
    // Nothing is left for this process to reap.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    // Programs that cannot start: missing, no name, not executable, no interpreter line.
    const std::string plain = dir_ / "plain";
    std::ofstream(plain) << "not a program\n";
    for (const std::string& name : {dir_ / "missing", std::string(), plain})
        EXPECT_FALSE(launcher.Start(name, {})) << name;
    fs::permissions(plain, fs::perms::owner_all);
    EXPECT_FALSE(launcher.Start(plain, {}));
}

TEST_F(SystemWorld, SoundPlayerUsesTheFirstPlayerFound) {
    const std::string sound = dir_ / "FILTER.WAV";
    std::ofstream(sound) << "RIFF";
    const std::string saved = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir_ / "").c_str(), 1);
    testing::FakeCommands commands;
    SystemSoundPlayer player(commands);
    EXPECT_FALSE(player.PlayFile(sound));  // no player at all
    Script("aplay", "exit 0\n");
    EXPECT_TRUE(player.PlayFile(sound));
    Script("paplay", "exit 0\n");
    EXPECT_TRUE(player.PlayFile(sound));
    EXPECT_FALSE(player.PlayFile(dir_ / "ALARM.WAV"));  // missing file: caller beeps
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(commands.calls, (std::vector<testing::FakeCommands::Call>{{"aplay", {"-q", sound}}, {"paplay", {sound}}}));
}

// Files are appended to; two monitors appending to one log may alternate
// their lines, but never cut one.
TEST_F(SystemWorld, FilesAreAppendedWholeLinesAndFailuresReported) {
    const std::string path = dir_ / "shared.log";
    std::unique_ptr<OutputFile> files[2];
    for (int round = 0; round < 2; ++round) {
        for (auto& file : files) file = opener_.OpenForAppend(path, problem_);
        ASSERT_TRUE(files[0] && files[1]);
        for (int i = 0; i < 150; ++i) {
            ASSERT_TRUE(files[0]->Write(std::string(99, 'a') + "\n"));
            ASSERT_TRUE(files[1]->Write(std::string(99, 'b') + "\n"));
        }
        EXPECT_TRUE(files[0]->Flush());
        for (auto& file : files) file.reset();
    }
    std::istringstream lines(testing::ReadFile(path));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_TRUE(line == std::string(99, 'a') || line == std::string(99, 'b')) << "line " << count << ": " << line;
    EXPECT_EQ(count, 600);

    const std::pair<std::string, std::string> failures[] = {
        {dir_ / "", "Is a directory"}, {dir_ / "no/such.log", "No such file or directory"}, {"", "no file name"}};
    for (const auto& [failing, reason] : failures) {
        EXPECT_EQ(opener_.OpenForAppend(failing, problem_), nullptr) << failing;
        EXPECT_EQ(problem_, reason) << failing;
    }
}

// A file keeps whole lines: a line the disk has no room for is not written
// at all (here the room is a file size limit), and a file left ending
// inside a line (by a crash, or an older program) gets a line break before
// the next line, so two pages are never spliced.
TEST_F(SystemWorld, FilesKeepWholeLines) {
    struct Case {
        const char* name;
        std::string before;  // the file's contents at the start
        long room;           // bytes the file may grow to; 0 = no limit
        std::vector<std::pair<std::string, bool>> writes;  // a line, whether it is written
        std::string after;
    };
    const Case cases[] = {
        {"ends inside a line", "{1266492} 4 1", 0, {{"{1234567} 4 1200 next\n", true}}, "{1266492} 4 1\n{1234567} 4 1200 next\n"},
        {"ends with a line", "one\n", 0, {{"two\n", true}, {"three\n", true}}, "one\ntwo\nthree\n"},
        {"empty", "", 0, {{"one\n", true}}, "one\n"},
        {"full in a line", "one\n", 10, {{"two\n", true}, {"three\n", false}, {"3\n", true}}, "one\ntwo\n3\n"},
        {"full before a line", "one\n", 4, {{"two\n", false}}, "one\n"},
    };
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_ / "pages.log";
        std::ofstream(path, std::ios::trunc) << c.before;
        auto file = opener_.OpenForAppend(path, problem_);
        ASSERT_NE(file, nullptr);
        rlimit limited = saved;
        if (c.room > 0) limited.rlim_cur = static_cast<rlim_t>(c.room);
        ::setrlimit(RLIMIT_FSIZE, &limited);
        for (const auto& [line, written] : c.writes) {
            EXPECT_EQ(file->Write(line), written) << line;
            if (!written) {
                EXPECT_EQ(file->Problem(), std::strerror(EFBIG));
            }
        }
        file.reset();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(testing::ReadFile(path), c.after);
    }
    ::signal(SIGXFSZ, SIG_DFL);
}

// A FIFO as output file: a reader that goes away fails the write (and does
// not kill the program with SIGPIPE); a new reader makes it work again. One
// that nobody reads is Cli.UnwritableLogIsToldOnStandardError.
TEST_F(SystemWorld, FifoWithoutReaderIsAFileThatCannotBeWritten) {
    const std::string fifo = dir_ / "pages.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    auto file = opener_.OpenForAppend(fifo, problem_);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Write("line\n"));
    char buffer[16] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 5);
    ::close(reader);
    EXPECT_FALSE(file->Write("lost\n"));
    EXPECT_EQ(file->Problem(), std::strerror(EPIPE));
    reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(file->Write("again\n"));
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 6);
    ::close(reader);
}

}  // namespace
}  // namespace tolvane
