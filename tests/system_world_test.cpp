// The real outside world: programs started with an exact argument vector
// and not waited for, files appended to, sound players looked up.
#include "platform/system_world.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/fake_world.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class SystemWorld : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tolvane-world-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Script(const std::string& name, const std::string& body) {
        const fs::path path = dir_ / name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }
    static std::string Slurp(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Waits (bounded) for a file that another process writes.
    static bool AppearsWithin(const fs::path& path, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (fs::exists(path)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    fs::path dir_;
};

TEST_F(SystemWorld, LauncherPassesTheExactArgumentsAndDoesNotWait) {
    // The script only writes once the test lets it: if Start waited for it,
    // the script would give up first and write "timeout".
    const std::string d = dir_.string();
    const std::string program = Script("record.sh",
                                       "i=0\n"
                                       "while [ ! -e '" + d + "/go' ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done\n"
                                       "if [ -e '" + d + "/go' ]; then printf '[%s]\\n' \"$@\"; else echo timeout; fi > '" +
                                           d + "/out.tmp'\n"
                                           "mv '" + d + "/out.tmp' '" + d + "/out'\n");
    SpawnCommandLauncher launcher;
    const std::vector<std::string> args = {"1234567", "Fire Dept", "\"; rm -rf ~ #", "$(id) `id` *", ""};
    ASSERT_TRUE(launcher.Start(program, args));
    EXPECT_FALSE(fs::exists(dir_ / "out"));
    std::ofstream(dir_ / "go") << "";
    ASSERT_TRUE(AppearsWithin(dir_ / "out", std::chrono::seconds(20)));
    EXPECT_EQ(Slurp(dir_ / "out"), "[1234567]\n[Fire Dept]\n[\"; rm -rf ~ #]\n[$(id) `id` *]\n[]\n");

    // Nothing is left for this process to reap.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(SystemWorld, LauncherReportsProgramsThatCannotStart) {
    SpawnCommandLauncher launcher;
    EXPECT_FALSE(launcher.Start((dir_ / "missing").string(), {}));
    EXPECT_FALSE(launcher.Start("", {}));
    const fs::path plain = dir_ / "plain";
    std::ofstream(plain) << "not a program\n";
    EXPECT_FALSE(launcher.Start(plain.string(), {}));
    fs::permissions(plain, fs::perms::owner_all);  // executable, but no interpreter line
    EXPECT_FALSE(launcher.Start(plain.string(), {}));
}

TEST_F(SystemWorld, SoundPlayerUsesTheFirstPlayerFound) {
    const fs::path sound = dir_ / "FILTER.WAV";
    std::ofstream(sound) << "RIFF";
    const char* oldPath = std::getenv("PATH");
    const std::string saved = oldPath != nullptr ? oldPath : "";
    ::setenv("PATH", dir_.string().c_str(), 1);

    testing::FakeCommands commands;
    SystemSoundPlayer player(commands);
    EXPECT_FALSE(player.PlayFile(sound.string()));  // no player at all
    Script("aplay", "exit 0\n");
    EXPECT_TRUE(player.PlayFile(sound.string()));
    Script("paplay", "exit 0\n");
    EXPECT_TRUE(player.PlayFile(sound.string()));
    EXPECT_FALSE(player.PlayFile((dir_ / "ALARM.WAV").string()));  // missing file: caller beeps
    ::setenv("PATH", saved.c_str(), 1);

    ASSERT_EQ(commands.calls.size(), 2u);
    EXPECT_EQ(commands.calls[0].program, "aplay");
    EXPECT_EQ(commands.calls[0].args, (std::vector<std::string>{"-q", sound.string()}));
    EXPECT_EQ(commands.calls[1].program, "paplay");
    EXPECT_EQ(commands.calls[1].args, std::vector<std::string>{sound.string()});
}

TEST_F(SystemWorld, FilesAreAppendedAndFailuresReported) {
    StdioFileOpener opener;
    const fs::path path = dir_ / "pages.log";
    for (const char* text : {"one\n", "two\n"}) {
        auto file = opener.OpenForAppend(path.string());
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->Write(text));
        EXPECT_TRUE(file->Flush());
    }
    EXPECT_EQ(Slurp(path), "one\ntwo\n");
    EXPECT_EQ(opener.OpenForAppend(dir_.string()), nullptr);
    EXPECT_EQ(opener.OpenForAppend((dir_ / "no" / "such.log").string()), nullptr);
    EXPECT_EQ(opener.OpenForAppend(""), nullptr);
}

}  // namespace
}  // namespace tolvane
