// The settings file: files read and saved again against their goldens in
// tests/data, the port keys, safe saving and where the file lives.
#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "support/loopback.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(TOLVANE_SOURCE_DIR) / "tests" / "data";

class SettingsFile : public ::testing::Test {
protected:
    std::string Read() const { return testing::ReadFile(path_); }
    Settings Load(const std::string& text, Settings start = Settings()) {
        std::ofstream(path_, std::ios::binary) << text;
        EXPECT_TRUE(LoadSettings(kAppName, path_, start));
        return start;
    }

    testing::TempDir dir_;
    const std::string path_ = dir_ / "Tolvane.INI";
};

// Each file is loaded over a start record and saved over itself; the result
// must equal the golden byte for byte. every_field.ini has every field away
// from its default and must come back unchanged. The hand-edited file has
// names in any case, repeated keys (the first wins), CR LF, comments, values
// cut, clamped, out of range or malformed, 250 filters, a foreign section and
// keys we do not know: ours are rewritten whole, the rest is kept.
TEST_F(SettingsFile, SavedFilesEqualTheirGoldens) {
    Settings kept;
    kept.xPos = 9;             // absent numbers are kept
    kept.StatFile = "old.st";  // absent texts are emptied
    const std::tuple<const char*, Settings, const char*> cases[] = {
        {"", Settings(), "settings_defaults.ini"},  // no file: the defaults
        {"settings_every_field.ini", Settings(), "settings_every_field.ini"},
        {"settings_hand_edited.ini", kept, "settings_hand_edited.saved.ini"},
    };
    for (const auto& [input, start, golden] : cases) {
        SCOPED_TRACE(golden);
        fs::remove(path_);
        if (*input != 0) fs::copy_file(kData / input, path_);
        Settings loaded = start;
        ASSERT_TRUE(LoadSettings(kAppName, path_, loaded));
        ASSERT_TRUE(SaveSettings(kAppName, path_, loaded));
        EXPECT_EQ(Read(), testing::ReadFile(kData / golden));
    }
    EXPECT_EQ(Load(""), Settings());
}

TEST_F(SettingsFile, PortKeysAreAllOrNothing) {
    Settings start;
    start.ComPort = 2, start.ComPortAddr = 0x2F8, start.ComPortIRQ = 3;
    const std::tuple<const char*, std::int32_t, std::uint32_t, std::uint32_t> cases[] = {
        {"ComPort=Custom\nComPortAddr=0x2E8\nComPortIRQ=5\n", 5, 744, 5},
        {"ComPort=Custom\nComPortAddr=0x2E8\n", 0, 744, 3},
        {"ComPort=COM4\nComPortIRQ=5\n", 0, 0x2F8, 5},
        {"ComPortAddr=0x2E8\nComPortIRQ=5\n", 0, 0x2F8, 3},               // without ComPort nothing is read
        {"ComPort=COM1\nComPortAddr=2E8\nComPortIRQ=4\n", 1, 0x2F8, 4},     // no 0x: address kept
        {"ComPort=custom\nComPortAddr=0x3e8\nComPortIRQ=4\n", 2, 0x3E8, 4},  // "Custom" has case
    };
    for (const auto& [keys, port, address, irq] : cases) {
        const Settings s = Load(std::string("[Tolvane]\n") + keys, start);
        EXPECT_EQ(std::tuple(s.ComPort, s.ComPortAddr, s.ComPortIRQ), std::tuple(port, address, irq)) << keys;
    }
}

// A save that fails half-way (here at a file-size limit) leaves the old
// file as it was and no temporary beside it.
TEST_F(SettingsFile, FailedSaveLeavesTheOldFile) {
    fs::copy_file(kData / "settings_every_field.ini", path_);
    const std::string before = Read();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 200;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = SaveSettings(kAppName, path_, Settings());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Read(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / ""), fs::directory_iterator()), 1);
    // A directory that cannot be made fails too; a missing one is made.
    std::ofstream(dir_ / "plain") << "x";
    EXPECT_FALSE(SaveSettings(kAppName, dir_ / "plain/Tolvane.INI", Settings()));
    EXPECT_TRUE(SaveSettings(kAppName, dir_ / "a/b/Tolvane.INI", Settings()));
}

TEST(SettingsPath, PortableInstallElseXdgElseHome) {
    EXPECT_EQ(ChooseSettingsPath("/home/u/tolvane", true, "/x/cfg", "/home/u"), "/home/u/tolvane/Tolvane.INI");
    EXPECT_EQ(ChooseSettingsPath("/home/u/tolvane", false, "/x/cfg", "/home/u"), "/x/cfg/tolvane/Tolvane.INI");
    EXPECT_EQ(ChooseSettingsPath("/usr/local/bin", true, nullptr, "/root"), "/root/.config/tolvane/Tolvane.INI");
    EXPECT_EQ(ChooseSettingsPath("/usr", true, "relative", "/root"), "/root/.config/tolvane/Tolvane.INI");
    EXPECT_EQ(ChooseSettingsPath("/usrlocal", true, nullptr, "/root"), "/usrlocal/Tolvane.INI");
    EXPECT_EQ(ChooseSettingsPath("", false, "", nullptr), "Tolvane.INI");
}

}  // namespace
}  // namespace tolvane
