// The settings file: the INI reader and writer, round trips of the whole
// record, the read rules of single keys, the bounds on hand-edited values,
// and safe saving.
#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/ini_file.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using enum FilterType;

TEST(IniDocument, WriteRules) {
    IniDocument ini = IniDocument::Parse("; head\n[A]\nx=1\n\n[B]\ny=2\n");
    ini.Set("a", "X", "10");           // replaces, keeps the stored name
    ini.Set("A", "z", "line\nbreak");  // appended after the last key
    ini.Set("C", "w", "new");          // creates the section
    ini.DeleteSection("b");
    EXPECT_FALSE(ini.HasSection("B"));
    EXPECT_EQ(ini.Serialize(), "; head\n[A]\nx=10\nz=line break\n\n[C]\nw=new\n");
}

class SettingsFile : public ::testing::Test {
protected:
    std::string Read() const {
        std::stringstream s;
        s << std::ifstream(path_, std::ios::binary).rdbuf();
        return s.str();
    }
    Settings Load(const std::string& text, Settings start = Settings()) {
        std::ofstream(path_, std::ios::binary) << text;
        EXPECT_TRUE(LoadSettings(kAppName, path_, start));
        return start;
    }
    Settings SaveAndLoad(const Settings& saved) {
        EXPECT_TRUE(SaveSettings(kAppName, path_, saved));
        Settings loaded;
        EXPECT_TRUE(LoadSettings(kAppName, path_, loaded));
        return loaded;
    }

    testing::TempDir dir_;
    const std::string path_ = dir_ / "Tolvane.INI";
};

// Every field away from its default.
Settings Unusual() {
    Settings s;
    s.xPos = -20, s.yPos = 31, s.xSize = 800, s.ySize = 611;
    s.Timestamp = 0, s.ShowFrame = 0, s.ConfirmExit = 0, s.ShowNumeric = 0, s.ShowMisc = 0, s.FilterBeep = 1;
    s.DecodePocsag = 0, s.DecodeFlex = 0, s.DecodeGolay = 0;
    s.ComPort = 5, s.ComPortAddr = 0x2E8, s.ComPortIRQ = 11, s.FourLevelInterface = 1, s.InvertData = 1;
    s.Percent = 62.0;
    s.Font = FontRecord{-15, 3, 1, 2, 700, 1, 0, 0, 0, 4, 2, 5, 0x22, "DejaVu Sans Mono"};
    s.LogFileEnabled = 1, s.LogFile = "/var/log/pages log.txt", s.LogFileUseDate = 1, s.LogFileFlush = 1;
    s.LogFlushTime = 3, s.FilterFileEnabled = 1, s.FilterFile = "hits.flt", s.FilterFileUseDate = 1;
    s.FilterFileFlush = 1, s.FilterFlushTime = 4, s.FilterCmdFileEnabled = 1, s.FilterCmdFile = "/usr/bin/notify-send";
    s.FilterCmdArgs = " -a \"%l\" %m ";
    for (std::size_t i = 0; i < s.Color.size(); ++i) s.Color[i] = MakeColor(10 * i, 255 - i, 7 * i);
    s.Color[8] = Settings().Color[8];  // Misc has no key
    s.Pane1Size = 5000, s.Pane2Size = 300;
    s.StatFileEnabled = 1, s.StatFile = "stats.st", s.StatFileUseDate = 1;
    s.StatCSVFileEnabled = 1, s.StatCSVFile = "stats.csv", s.StatCSVFileUseDate = 1;
    s.KeepAliveStart = {1, 24, 0}, s.KeepAliveStop = {12, 3, 5}, s.KeepAliveTimeout = {13, 1, 0};
    s.KeepAliveCmdFileEnabled = 1, s.KeepAliveCmdFile = "alarm.sh", s.KeepAliveCmdArgs = "  off air  ";
    s.Input = InputChoice{"audio:default", 48000, 1, "/dev/ttyUSB0", "alsa_input.usb \"x\"", 44100};
    s.Filters = {{Pocsag, "1234567", 2, "Fire", "", 0, 2, 0},
                 {Text, "", 0, "say \"hi\", ok", "C:\\temp\\", 1, 0, 0},
                 {Golay, "12?45?", 4, "", "x", 1, 0, 1},
                 {LongFlex, "?????????", 0, "12345678901234567890", std::string(40, 'T'), 0, 0, 0},
                 {}};
    return s;
}

TEST_F(SettingsFile, MissingOrEmptyFileGivesTheDefaults) {
    Settings s;
    EXPECT_TRUE(LoadSettings(kAppName, path_, s));
    EXPECT_EQ(s, Settings());
    EXPECT_EQ(Load(""), Settings());
    EXPECT_EQ(s.ColorOf(ColorClass::Misc), s.ColorOf(ColorClass::Numeric));
}

TEST_F(SettingsFile, EveryFieldSurvivesSaveAndLoad) {
    Settings saved = Unusual();
    saved.Percent = 62.9;  // stored truncated
    EXPECT_EQ(SaveAndLoad(saved), Unusual());
    // A full table of 200 filters, in order.
    saved.Filters.clear();
    for (int i = 0; i < kMaxFilters; ++i) saved.Filters.push_back({ShortFlex, std::to_string(1000000 + i), 0, "L" + std::to_string(i), "", i % 2});
    EXPECT_EQ(SaveAndLoad(saved).Filters, saved.Filters);
}

TEST_F(SettingsFile, WrittenFormat) {
    Settings s;
    s.KeepAliveCmdArgs = "  off air  ";
    s.Filters = {{Pocsag, "1234567", 2, "Fire", "", 0, 2, 0}};
    ASSERT_TRUE(SaveSettings(kAppName, path_, s));
    const std::string text = Read();
    for (const char* part : {"[Tolvane]\nxPos=0\nyPos=0\nxSize=592\n", "\nKeepAliveCmdArgs=\"  off air  \"\n",
                             "\n[Filter]\nFilterFileEnabled=0\n", "\nColor.Capcode=0,128,0\n",
                             "\nFilterCmdArgs=\"\"\nFilterCount=1\nFilter1=2,\"1234567\",2,\"Fire\",\"\",0,2,0\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    for (const char* key : {"\nComPort=", "\nComPortAddr=", "\nComPortIRQ=", "Color.Misc"})
        EXPECT_EQ(text.find(key), std::string::npos) << key;  // no port: no port keys
    s.ComPort = 2, s.ComPortAddr = 0x2f8, s.ComPortIRQ = 3;
    ASSERT_TRUE(SaveSettings(kAppName, path_, s));
    EXPECT_NE(Read().find("\nComPort=COM2\nComPortAddr=0x2F8\nComPortIRQ=3\nFont.Height="), std::string::npos);
}

TEST_F(SettingsFile, Colors) {
    const std::uint32_t kept = Settings().ColorOf(ColorClass::Numeric);
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"300,0,0", MakeColor(44, 0, 0)}, {"-1,256,7", MakeColor(255, 0, 7)}, {" 1, 2, 3", MakeColor(1, 2, 3)},
        {"1,2", kept},   // incomplete
        {"1 ,2,3", kept},  // a comma must follow
        {"red", kept},
        {"0255,0255,0255", MakeColor(255, 255, 2)},  // read as 12 characters
    };
    for (const auto& [value, color] : cases) {
        const Settings s = Load(std::string("[Tolvane]\nColor.Numeric=") + value + "\n");
        EXPECT_EQ(s.ColorOf(ColorClass::Numeric), color) << value;
        EXPECT_EQ(s.ColorOf(ColorClass::Misc), Settings().ColorOf(ColorClass::Misc));
    }
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

// How keys read: sections and keys in any case, in any order, repeated
// (the first wins), CR LF line ends, comments, values cut and clamped.
TEST_F(SettingsFile, KeyRules) {
    Settings start;
    start.StatFile = "old.st";
    start.xPos = 9;
    const Settings s = Load(
        "xPos=1\r\n; xPos=2\r\n[TOLVANE]\r\n xsize = 800abc \r\nXSIZE=1\nYSIZE=  -40 \nyPos=+8\nTimestamp=x\nShowFrame=\n"
        "Percent=33.9\nFont.Weight=\"700\"\nFont.CharSet=511\nfont.facename=" + std::string(40, 'F') + "\n"
        "LogFile=  spaced name  \nStatCSVFile=\"open\nPane2Size=99999999999\nFont.Height=-2147483649\n"
        "[filter]\nFilterCmdArgs=\"  a b  \"\n[Tolvane]\nShowNumeric=0\n", start);
    EXPECT_EQ(s.xPos, 9);  // absent numbers are kept
    EXPECT_EQ(s.xSize, 800);
    EXPECT_EQ(s.ySize, -40);
    EXPECT_EQ(s.yPos, 8);
    EXPECT_EQ(s.Timestamp, 0);  // present without a number
    EXPECT_EQ(s.ShowFrame, 1);  // empty: the default
    EXPECT_EQ(s.Percent, 33.0);
    EXPECT_EQ(s.Font.Weight, 700);
    EXPECT_EQ(s.Font.CharSet, 255);  // low byte
    EXPECT_EQ(s.Font.FaceName, std::string(31, 'F'));
    EXPECT_EQ(s.Font.Height, INT32_MIN);
    EXPECT_EQ(s.Pane2Size, static_cast<std::uint32_t>(INT32_MAX));
    EXPECT_EQ(s.LogFile, "spaced name");
    EXPECT_EQ(s.StatCSVFile, "\"open");
    EXPECT_EQ(s.StatFile, "");  // absent strings are emptied
    EXPECT_EQ(s.FilterCmdArgs, "  a b  ");
    EXPECT_EQ(s.ShowNumeric, 0);
}

TEST_F(SettingsFile, HandEditedValuesAreBounded) {
    std::string text = "[Tolvane]\nKeepAliveStart1=25\nKeepAliveStop1=-1\nKeepAliveTimeout1=14\n"
                       "KeepAliveStart2=24\nKeepAliveStop2=1\nKeepAliveTimeout2=13\n[Filter]\nFilterCount=250\n";
    for (int i = 1; i <= 250; ++i) text += "Filter" + std::to_string(i) + "=3,\"" + std::to_string(i) + "\",0,\"\",\"\",0,0,0\n";
    const Settings s = Load(text);
    EXPECT_EQ(s.KeepAliveStart, (std::array<std::int32_t, 3>{0, 24, 0}));
    EXPECT_EQ(s.KeepAliveStop, (std::array<std::int32_t, 3>{0, 1, 0}));
    EXPECT_EQ(s.KeepAliveTimeout, (std::array<std::int32_t, 3>{0, 13, 0}));
    ASSERT_EQ(s.Filters.size(), 200u);
    EXPECT_EQ(s.Filters.back().capcode, "200");
    Settings start;
    start.Filters = {FilterRecord{}};
    EXPECT_TRUE(Load("[Filter]\nFilterCount=-3\nFilter1=1,\"\",0,\"\",\"x\",0,0,0\n", start).Filters.empty());
    EXPECT_EQ(Load("[Filter]\nFilterCount=2\nFilter1=1,\"\",0,\"\",\"x\",0,0,0\n").Filters.size(), 2u);
    // A size that cannot be had is refused later, when the panes are made.
    EXPECT_EQ(Load("[Tolvane]\nPane1Size=-1\n").Pane1Size, 0xFFFFFFFFu);
}

TEST_F(SettingsFile, SaveRewritesOurSectionsAndKeepsOthers) {
    std::ofstream(path_) << "; notes\n[Tolvane]\nUnknownKey=1\nxPos=3\n[Other]\nKeep=me\n[Filter]\nFilterCount=3\n"
                            "Filter1=1\nFilter2=1\nFilter3=1\nStray=x\n";
    Settings s;
    s.xPos = 4;
    ASSERT_TRUE(SaveSettings(kAppName, path_, s));
    const std::string text = Read();
    EXPECT_EQ(text.rfind("; notes\n", 0), 0u);
    EXPECT_NE(text.find("[Other]\nKeep=me\n"), std::string::npos);
    for (const char* gone : {"UnknownKey", "Filter1", "Stray", "xPos=3"}) EXPECT_EQ(text.find(gone), std::string::npos) << gone;
    EXPECT_NE(text.find("FilterCount=0\n"), std::string::npos);
    EXPECT_EQ(text.find("[Tolvane]"), text.rfind("[Tolvane]"));  // one main section
}

TEST_F(SettingsFile, FailedSaveLeavesTheOldFile) {
    const Settings old = Unusual();
    ASSERT_TRUE(SaveSettings(kAppName, path_, old));
    const std::string before = Read();
    // A file-size limit makes the write of the new file fail half-way.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 200;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Settings changed = old;
    changed.xPos = 1;
    const bool ok = SaveSettings(kAppName, path_, changed);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Read(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / ""), fs::directory_iterator()), 1);  // no temporary left
    // A directory that cannot be made fails too; a missing one is made.
    std::ofstream(dir_ / "plain") << "x";
    EXPECT_FALSE(SaveSettings(kAppName, dir_ / "plain/Tolvane.INI", old));
    EXPECT_TRUE(SaveSettings(kAppName, dir_ / "a/b/Tolvane.INI", old));
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
