// The settings file: files read and saved again against their goldens in
// tests/data, the port keys, values out of range, files that cannot be
// read, safe saving and where the file lives; the entries the dialogs check.
#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "support/file_access.h"
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
        EXPECT_EQ(LoadSettings(kAppName, path_, start).messages, std::vector<std::string>());
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
        ASSERT_EQ(LoadSettings(kAppName, path_, loaded).file, *input != 0 ? FileState::Read : FileState::Missing);
        ASSERT_TRUE(SaveSettings(kAppName, path_, loaded));
        EXPECT_EQ(Read(), testing::ReadFile(kData / golden));
    }
    EXPECT_EQ(Load(""), Settings());
    // A key written only when changed is read whatever the golden files show.
    EXPECT_EQ(Load("[Tolvane]\nInputHighPass=30\n").Input.InputHighPass, 30);
    // The channel section and filters limited to a channel (the defaults
    // besides) come back as they were.
    std::string text = testing::ReadFile(kData / "settings_defaults.ini");
    text.replace(text.rfind("FilterCount=0\n"), std::string::npos,
                 "FilterCount=3\nFilter1=2,\"1234567\",0,\"Fire\",\"\",0,0,0,0,\"NYC1\"\n"
                 "Filter2=1,\"\",0,\"\",\"FIRE\",0,0,0,3,\"Chan \\\"2\\\"\"\nFilter3=1,\"\",0,\"\",\"FIRE\",0,0,0,3\n"
                 "[Channels]\nIqSampleRate=2400000\nIqCenter=929500000\nIqPpm=-37.5\nIqGain=20.7\nIqFormat=cu8\n"
                 "ChannelCount=3\nChannel1=929612500,\"NYC1\",4,0\nChannel2=929262500,\"Chan \\\"2\\\"\",2,2\n"
                 "Channel3=152007500,\"\",2,1\n");
    const Settings channels = Load(text);
    ASSERT_TRUE(SaveSettings(kAppName, path_, channels));
    EXPECT_EQ(Read(), text);
    EXPECT_EQ(channels.Iq.Channels[1], (ChannelRecord{929262500, "Chan \"2\"", 2, ChannelPolarity::Inverted}));
    EXPECT_EQ(std::tuple(channels.Iq.CenterHz, channels.Iq.Ppm, channels.Filters[0].channel),
              std::tuple(929500000.0, -37.5, std::string("NYC1")));
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

// A number the record cannot use is not taken: the field keeps its value
// and one message names the key.
TEST_F(SettingsFile, OutOfRangeNumbersAreNotTaken) {
    const std::tuple<const char*, std::int32_t, std::int32_t, const char*> cases[] = {
        {"Font.Height=-2147483649", -11, 0, "Font.Height=-2147483648 is out of range (-1000 to 1000); -11 kept"},
        {"Font.Height=1001\nKeepAliveStart1=24", -11, 24, "Font.Height=1001 is out of range (-1000 to 1000); -11 kept"},
        {"Font.Height=-1000\nKeepAliveStart1=25", -1000, 0, "KeepAliveStart1=25 is out of range (0 to 24); 0 kept"},
        {"Font.Height=1000\nKeepAliveTimeout1=-1", 1000, 0, "KeepAliveTimeout1=-1 is out of range (0 to 13); 0 kept"},
    };
    for (const auto& [keys, height, start, message] : cases) {
        SCOPED_TRACE(keys);
        std::ofstream(path_) << "[Tolvane]\n" << keys << "\n";
        Settings s;
        const SettingsLoad load = LoadSettings(kAppName, path_, s);
        EXPECT_EQ(std::tuple(s.Font.Height, s.KeepAliveStart[0]), std::tuple(height, start));
        EXPECT_EQ(load.messages, std::vector<std::string>{"settings file " + path_ + ": " + message});
    }
}

// A channel without a frequency is left out, levels and polarity outside
// their values keep the default, a band number that is not one keeps the
// current value: each is named.
TEST_F(SettingsFile, MalformedChannelsAreNamed) {
    const std::tuple<const char*, std::size_t, std::int32_t, const char*> cases[] = {
        {"Channel1=929M,\"A\",2,0", 0, 0, "Channel1=929M,\"A\",2,0 has no frequency in Hz; left out"},
        {"Channel1=-5", 0, 0, "Channel1=-5 has no frequency in Hz; left out"},
        {"Channel1=929000000,\"A\",3", 1, 2, "Channel1=929000000,\"A\",3: levels 3 is not 2 or 4; 2 kept"},
        {"Channel1=929000000,\"A\",4,3", 1, 4,
         "Channel1=929000000,\"A\",4,3: polarity 3 is out of range (0 to 2); 0 kept"},
        {"IqPpm=1001\nChannel1=929000000", 1, 2, "IqPpm=1001 is not a number from -1000 to 1000; 0 kept"},
        {"IqSampleRate=2.4M\nChannel1=929000000", 1, 2, "IqSampleRate=2.4M is not a number from 0 to 100000000; 0 kept"},
    };
    for (const auto& [keys, count, levels, message] : cases) {
        SCOPED_TRACE(keys);
        std::ofstream(path_) << "[Channels]\nChannelCount=1\n" << keys << "\n";
        Settings s;
        const SettingsLoad load = LoadSettings(kAppName, path_, s);
        ASSERT_EQ(s.Iq.Channels.size(), count);
        if (count > 0) {
            EXPECT_EQ(std::tuple(s.Iq.Channels[0].Levels, s.Iq.Channels[0].Polarity),
                      std::tuple(levels, ChannelPolarity::Auto));
        }
        EXPECT_EQ(std::tuple(s.Iq.Ppm, s.Iq.SampleRate), std::tuple(0.0, 0.0));
        EXPECT_EQ(load.messages, std::vector<std::string>{"settings file " + path_ + ": " + message});
    }
}

// A file that is there but cannot be read loads nothing, says why and is
// never saved over: it may hold settings and sections we cannot see. A
// UTF-8 byte-order mark is read past, and not left before a second main
// section.
TEST_F(SettingsFile, UnreadableFilesAreNeverSavedOver) {
    const std::string text = "[Tolvane]\nShowNumeric=0\n[Other]\nKeep=me\n";
    const auto utf16 = [&text](bool bigEndian) {
        std::string wide = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : text) wide += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return wide;
    };
    const struct { const char* name; std::string bytes; fs::perms mode; const char* reason; } cases[] = {
        {"no permission", text, fs::perms::none, "Permission denied"},
        {"folder", "", fs::perms::owner_all, "Is a directory"},
        {"UTF-16LE", utf16(false), fs::perms::owner_all, "the text is UTF-16; save it as UTF-8"},
        {"UTF-16BE", utf16(true), fs::perms::owner_all, "the text is UTF-16; save it as UTF-8"},
        {"UTF-8 mark", "\xEF\xBB\xBF" + text, fs::perms::owner_all, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(path_);
        c.bytes.empty() ? (void)fs::create_directory(path_) : (void)(std::ofstream(path_) << c.bytes);
        fs::permissions(path_, c.mode);
        Settings s;
        SettingsLoad load;
        std::string problem;
        bool saved = false;
        {
            testing::UserFileAccess user;
            load = LoadSettings(kAppName, path_, s);
            saved = SaveSettings(kAppName, path_, s, &problem);
        }
        fs::permissions(path_, fs::perms::owner_all);
        const std::string after = fs::is_directory(path_) ? "" : Read();
        if (*c.reason == 0) {
            EXPECT_TRUE(load.file == FileState::Read && s.ShowNumeric == 0 && saved) << problem;
            EXPECT_EQ(after.rfind("[Other]\nKeep=me\n[Tolvane]\n", 0), 0u) << after;
            EXPECT_EQ(after.find("[Tolvane]", 20), std::string::npos) << after;
            continue;
        }
        EXPECT_TRUE(load.file == FileState::Unreadable && s == Settings() && !saved);
        EXPECT_EQ(load.messages, std::vector<std::string>{"cannot read settings file " + path_ + ": " + c.reason});
        EXPECT_EQ(problem, "cannot save settings to " + path_ + ": cannot read it (" + c.reason + ")");
        EXPECT_EQ(after, c.bytes);
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
    // A missing directory is made. (A read-only file and a directory that
    // cannot be made, with their reasons: startup_test's rows.)
    EXPECT_TRUE(SaveSettings(kAppName, dir_ / "a/b/Tolvane.INI", Settings()));
}

// What the dialogs take: a port address typed in hexadecimal, and a filter
// (its type, the capcode or text typed) refused, or its capcode completed.
TEST(SettingsEntries, HexAndFilterEntries) {
    const std::tuple<const char*, std::optional<std::uint32_t>> hex[] = {
        {"3F8", 0x3F8}, {" 0x2e8", 0x2E8}, {"0X2E8z", 0x2E8}, {"2e8 9", 0x2E8}, {"123456789", 0x23456789},
        {"", std::nullopt}, {"0x", std::nullopt}, {"-5", std::nullopt}, {"g1", std::nullopt}};
    for (const auto& [text, value] : hex) EXPECT_EQ(LeadingHex(text), value) << text;
    using enum FilterType;
    const std::tuple<FilterType, const char*, const char*> filters[] = {
        {Pocsag, "1?", "000001?"}, {LongFlex, "1234567890", "123456789"}, {ShortFlex, "12a4", "Invalid characters in capcode!"},
        {Golay, "", "You must enter a capcode!"}, {Text, "", "You must enter a text string!"}, {Text, "x", ""}};
    for (const auto& [type, typed, result] : filters) {
        FilterRecord entry;
        entry.type = type, (type == Text ? entry.text : entry.capcode) = typed;
        const char* refusal = CompleteFilterEntry(entry);
        EXPECT_EQ(refusal != nullptr ? refusal : entry.capcode, result) << typed;
    }
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
