#include "settings/settings_file.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <utility>

#include "settings/ini_file.h"

namespace tolvane {

namespace {

constexpr const char* kFilterSection = "Filter";
constexpr std::size_t kPathMax = 255;      // path and argument keys
constexpr std::size_t kPortTextMax = 15;   // ComPort, ComPortAddr, ComPortIRQ
constexpr std::size_t kColorTextMax = 12;
constexpr std::size_t kFaceNameMax = 31;
constexpr std::size_t kFilterValueMax = 255;
constexpr std::size_t kInputMax = 4095;

struct ColorKey {
    const char* key;
    ColorClass colorClass;
};

// Misc has no key: it keeps its default.
constexpr ColorKey kColorKeys[] = {
    {"Color.Background", ColorClass::Background},   {"Color.Capcode", ColorClass::Capcode},
    {"Color.FLEXPhase", ColorClass::FLEXPhase},     {"Color.FLEXFormat", ColorClass::FLEXFormat},
    {"Color.Timestamp", ColorClass::Timestamp},     {"Color.Numeric", ColorClass::Numeric},
    {"Color.Alphanumeric", ColorClass::Alphanumeric}, {"Color.FLEXBinary", ColorClass::FLEXBinary},
    {"Color.BitErrors", ColorClass::BitErrors},     {"Color.FilterMatch", ColorClass::FilterMatch},
    {"Color.FilterLabel", ColorClass::FilterLabel},
};

std::string KeepAliveKey(const char* name, std::size_t range) { return name + std::to_string(range + 1); }

std::string FilterKey(std::size_t index) { return "Filter" + std::to_string(index + 1); }

// "%d" as scanf reads it: blanks, a sign, at least one digit. Moves `at`
// past the number.
std::optional<std::int32_t> ScanInt(std::string_view text, std::size_t& at) {
    std::size_t i = at;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t digits = i;
    if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) ++digits;
    std::size_t end = digits;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end == digits) return std::nullopt;
    at = end;
    return LeadingInt(text.substr(i, end - i));
}

// "%d,%d,%d" into a colour; nothing unless all three numbers are there.
std::optional<std::uint32_t> ParseColor(std::string_view text) {
    std::size_t at = 0;
    std::int32_t rgb[3];
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != ',') return std::nullopt;
            ++at;
        }
        const auto v = ScanInt(text, at);
        if (!v) return std::nullopt;
        rgb[i] = *v;
    }
    return MakeColor(static_cast<std::uint32_t>(rgb[0]), static_cast<std::uint32_t>(rgb[1]),
                     static_cast<std::uint32_t>(rgb[2]));
}

std::string FormatColor(std::uint32_t color) {
    return std::to_string(color & 0xFF) + "," + std::to_string((color >> 8) & 0xFF) + "," +
           std::to_string((color >> 16) & 0xFF);
}

// "0x%x": the prefix exactly, then a hexadecimal number.
std::optional<std::uint32_t> ParsePortAddress(const std::string& text) {
    if (text.compare(0, 2, "0x") != 0) return std::nullopt;
    const char* begin = text.c_str() + 2;
    char* end = nullptr;
    const unsigned long value = std::strtoul(begin, &end, 16);
    if (end == begin) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::string FormatPortAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(address));
    return text;
}

std::int32_t TruncatedPercent(double percent) {
    if (!std::isfinite(percent)) return 0;
    const double t = std::trunc(percent);
    if (t > INT32_MAX) return INT32_MAX;
    if (t < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(t);
}

std::int32_t InRangeOrDisabled(std::int32_t value, std::int32_t max) { return value < 0 || value > max ? 0 : value; }

bool IsSystemDirectory(const std::string& dir) {
    for (const char* root : {"/usr", "/bin", "/sbin", "/lib", "/lib64", "/etc"}) {
        const std::string r = root;
        if (dir == r || dir.compare(0, r.size() + 1, r + "/") == 0) return true;
    }
    return false;
}

// The whole record, key by key, in file order. Load and Save list the keys
// in the same order; a key added to one goes into the other too.
class Fields {
public:
    Fields(IniDocument& ini, const std::string& main) : ini_(ini), main_(main) {}

    void Load(Settings& s) {
        Int("xPos", s.xPos);
        Int("yPos", s.yPos);
        Int("xSize", s.xSize);
        Int("ySize", s.ySize);
        Int("Timestamp", s.Timestamp);
        Int("ShowFrame", s.ShowFrame);
        Int("ConfirmExit", s.ConfirmExit);
        Int("ShowNumeric", s.ShowNumeric);
        Int("ShowMisc", s.ShowMisc);
        Int("FilterBeep", s.FilterBeep);
        Int("DecodePocsag", s.DecodePocsag);
        Int("DecodeFlex", s.DecodeFlex);
        Int("DecodeGolay", s.DecodeGolay);
        Int("4LevelInterface", s.FourLevelInterface);
        Int("InvertData", s.InvertData);
        s.Percent = ini_.GetInt(main_, "Percent", TruncatedPercent(s.Percent));

        const std::string port = ini_.GetString(main_, "ComPort", "", kPortTextMax);
        if (port.empty()) {
            s.ComPort = 0;
        } else {
            if (port == "Custom") {
                s.ComPort = 5;
            } else if (port.compare(0, 3, "COM") == 0) {
                std::size_t at = 3;
                if (const auto n = ScanInt(port, at)) s.ComPort = *n;
            }
            // A port is in use only when all three keys are there.
            const std::string address = ini_.GetString(main_, "ComPortAddr", "", kPortTextMax);
            if (address.empty()) {
                s.ComPort = 0;
            } else if (const auto a = ParsePortAddress(address)) {
                s.ComPortAddr = *a;
            }
            const std::string irq = ini_.GetString(main_, "ComPortIRQ", "", kPortTextMax);
            std::size_t at = 0;
            if (irq.empty()) {
                s.ComPort = 0;
            } else if (const auto n = ScanInt(irq, at)) {
                s.ComPortIRQ = static_cast<std::uint32_t>(*n);
            }
        }

        Int("Font.Height", s.Font.Height);
        Int("Font.Width", s.Font.Width);
        Int("Font.Escapement", s.Font.Escapement);
        Int("Font.Orientation", s.Font.Orientation);
        Int("Font.Weight", s.Font.Weight);
        Byte("Font.Italic", s.Font.Italic);
        Byte("Font.CharSet", s.Font.CharSet);
        Byte("Font.OutPrecision", s.Font.OutPrecision);
        Byte("Font.ClipPrecision", s.Font.ClipPrecision);
        Byte("Font.Quality", s.Font.Quality);
        Byte("Font.PitchAndFamily", s.Font.PitchAndFamily);
        s.Font.FaceName = ini_.GetString(main_, "Font.FaceName", "Courier New", kFaceNameMax);

        for (const ColorKey& c : kColorKeys) {
            if (const auto color = ParseColor(ini_.GetString(main_, c.key, "", kColorTextMax))) {
                s.ColorOf(c.colorClass) = *color;
            }
        }

        Int("LogFileEnabled", s.LogFileEnabled);
        Text("LogFile", s.LogFile);
        Int("LogFileUseDate", s.LogFileUseDate);
        Int("LogFileFlush", s.LogFileFlush);
        Int("LogFlushTime", s.LogFlushTime);
        Unsigned("Pane1Size", s.Pane1Size);
        Unsigned("Pane2Size", s.Pane2Size);
        Int("StatFileEnabled", s.StatFileEnabled);
        Text("StatFile", s.StatFile);
        Int("StatFileUseDate", s.StatFileUseDate);
        Int("StatCSVFileEnabled", s.StatCSVFileEnabled);
        Text("StatCSVFile", s.StatCSVFile);
        Int("StatCSVFileUseDate", s.StatCSVFileUseDate);
        for (std::size_t r = 0; r < 3; ++r) {
            Int(KeepAliveKey("KeepAliveStart", r), s.KeepAliveStart[r]);
            Int(KeepAliveKey("KeepAliveStop", r), s.KeepAliveStop[r]);
            Int(KeepAliveKey("KeepAliveTimeout", r), s.KeepAliveTimeout[r]);
            s.KeepAliveStart[r] = InRangeOrDisabled(s.KeepAliveStart[r], kKeepAliveHourMax);
            s.KeepAliveStop[r] = InRangeOrDisabled(s.KeepAliveStop[r], kKeepAliveHourMax);
            s.KeepAliveTimeout[r] = InRangeOrDisabled(s.KeepAliveTimeout[r], kKeepAliveTimeoutMax);
        }
        Int("KeepAliveCmdFileEnabled", s.KeepAliveCmdFileEnabled);
        Text("KeepAliveCmdFile", s.KeepAliveCmdFile);
        Text("KeepAliveCmdArgs", s.KeepAliveCmdArgs);
        s.Input.Input = ini_.GetString(main_, "Input", "", kInputMax);
        Int("InputRate", s.Input.InputRate);
        Int("InputKind", s.Input.InputKind);
        s.Input.ComPortDevice = ini_.GetString(main_, "ComPortDevice", "", kInputMax);
        s.Input.AudioDevice = ini_.GetString(main_, "AudioDevice", "", kInputMax);
        Int("AudioRate", s.Input.AudioRate);

        const std::string filter = kFilterSection;
        Int("FilterFileEnabled", s.FilterFileEnabled, filter);
        Text("FilterFile", s.FilterFile, filter);
        Int("FilterFileUseDate", s.FilterFileUseDate, filter);
        Int("FilterFileFlush", s.FilterFileFlush, filter);
        Int("FilterFlushTime", s.FilterFlushTime, filter);
        Int("FilterCmdFileEnabled", s.FilterCmdFileEnabled, filter);
        Text("FilterCmdFile", s.FilterCmdFile, filter);
        Text("FilterCmdArgs", s.FilterCmdArgs, filter);
        // Without a count the table stays as it is, like any absent number.
        if (ini_.Value(filter, "FilterCount")) {
            const std::int32_t count = ini_.GetInt(filter, "FilterCount", 0);
            s.Filters.clear();
            for (std::int32_t i = 0; i < std::min(count, kMaxFilters); ++i) {
                const auto index = static_cast<std::size_t>(i);
                s.Filters.push_back(ParseFilterValue(ini_.GetString(filter, FilterKey(index), "", kFilterValueMax)));
            }
        }
    }

    void Save(const Settings& s) {
        ini_.DeleteSection(main_);
        for (const auto& [key, value] : IntKeys{{"xPos", s.xPos}, {"yPos", s.yPos}, {"xSize", s.xSize}, {"ySize", s.ySize},
              {"Timestamp", s.Timestamp}, {"ShowFrame", s.ShowFrame}, {"ConfirmExit", s.ConfirmExit},
              {"ShowNumeric", s.ShowNumeric}, {"ShowMisc", s.ShowMisc}, {"FilterBeep", s.FilterBeep},
              {"DecodePocsag", s.DecodePocsag}, {"DecodeFlex", s.DecodeFlex}, {"DecodeGolay", s.DecodeGolay},
              {"4LevelInterface", s.FourLevelInterface}, {"InvertData", s.InvertData},
              {"Percent", TruncatedPercent(s.Percent)}}) {
            ini_.SetInt(main_, key, value);
        }
        if (s.ComPort != 0) {
            ini_.Set(main_, "ComPort", s.ComPort == 5 ? std::string("Custom") : "COM" + std::to_string(s.ComPort));
            ini_.Set(main_, "ComPortAddr", FormatPortAddress(s.ComPortAddr));
            ini_.SetInt(main_, "ComPortIRQ", static_cast<std::int32_t>(s.ComPortIRQ));
        }
        for (const auto& [key, value] : IntKeys{{"Font.Height", s.Font.Height}, {"Font.Width", s.Font.Width},
              {"Font.Escapement", s.Font.Escapement}, {"Font.Orientation", s.Font.Orientation},
              {"Font.Weight", s.Font.Weight}, {"Font.Italic", std::int32_t{s.Font.Italic}},
              {"Font.CharSet", std::int32_t{s.Font.CharSet}}, {"Font.OutPrecision", std::int32_t{s.Font.OutPrecision}},
              {"Font.ClipPrecision", std::int32_t{s.Font.ClipPrecision}},
              {"Font.Quality", std::int32_t{s.Font.Quality}},
              {"Font.PitchAndFamily", std::int32_t{s.Font.PitchAndFamily}}}) {
            ini_.SetInt(main_, key, value);
        }
        ini_.Set(main_, "Font.FaceName", s.Font.FaceName);
        for (const ColorKey& c : kColorKeys) ini_.Set(main_, c.key, FormatColor(s.ColorOf(c.colorClass)));

        ini_.SetInt(main_, "LogFileEnabled", s.LogFileEnabled);
        ini_.Set(main_, "LogFile", s.LogFile);
        ini_.SetInt(main_, "LogFileUseDate", s.LogFileUseDate);
        ini_.SetInt(main_, "LogFileFlush", s.LogFileFlush);
        ini_.SetInt(main_, "LogFlushTime", s.LogFlushTime);
        ini_.SetInt(main_, "Pane1Size", static_cast<std::int32_t>(s.Pane1Size));
        ini_.SetInt(main_, "Pane2Size", static_cast<std::int32_t>(s.Pane2Size));
        ini_.SetInt(main_, "StatFileEnabled", s.StatFileEnabled);
        ini_.Set(main_, "StatFile", s.StatFile);
        ini_.SetInt(main_, "StatFileUseDate", s.StatFileUseDate);
        ini_.SetInt(main_, "StatCSVFileEnabled", s.StatCSVFileEnabled);
        ini_.Set(main_, "StatCSVFile", s.StatCSVFile);
        ini_.SetInt(main_, "StatCSVFileUseDate", s.StatCSVFileUseDate);
        for (std::size_t r = 0; r < 3; ++r) {
            ini_.SetInt(main_, KeepAliveKey("KeepAliveStart", r), s.KeepAliveStart[r]);
            ini_.SetInt(main_, KeepAliveKey("KeepAliveStop", r), s.KeepAliveStop[r]);
            ini_.SetInt(main_, KeepAliveKey("KeepAliveTimeout", r), s.KeepAliveTimeout[r]);
        }
        ini_.SetInt(main_, "KeepAliveCmdFileEnabled", s.KeepAliveCmdFileEnabled);
        ini_.Set(main_, "KeepAliveCmdFile", s.KeepAliveCmdFile);
        ini_.Set(main_, "KeepAliveCmdArgs", Quoted(s.KeepAliveCmdArgs));
        ini_.Set(main_, "Input", Quoted(s.Input.Input));
        ini_.SetInt(main_, "InputRate", s.Input.InputRate);
        ini_.SetInt(main_, "InputKind", s.Input.InputKind);
        ini_.Set(main_, "ComPortDevice", Quoted(s.Input.ComPortDevice));
        ini_.Set(main_, "AudioDevice", Quoted(s.Input.AudioDevice));
        ini_.SetInt(main_, "AudioRate", s.Input.AudioRate);

        ini_.DeleteSection(kFilterSection);
        ini_.SetInt(kFilterSection, "FilterFileEnabled", s.FilterFileEnabled);
        ini_.Set(kFilterSection, "FilterFile", s.FilterFile);
        ini_.SetInt(kFilterSection, "FilterFileUseDate", s.FilterFileUseDate);
        ini_.SetInt(kFilterSection, "FilterFileFlush", s.FilterFileFlush);
        ini_.SetInt(kFilterSection, "FilterFlushTime", s.FilterFlushTime);
        ini_.SetInt(kFilterSection, "FilterCmdFileEnabled", s.FilterCmdFileEnabled);
        ini_.Set(kFilterSection, "FilterCmdFile", s.FilterCmdFile);
        ini_.Set(kFilterSection, "FilterCmdArgs", Quoted(s.FilterCmdArgs));
        const std::size_t count = std::min(s.Filters.size(), static_cast<std::size_t>(kMaxFilters));
        ini_.SetInt(kFilterSection, "FilterCount", static_cast<std::int32_t>(count));
        for (std::size_t i = 0; i < count; ++i) ini_.Set(kFilterSection, FilterKey(i), FormatFilterValue(s.Filters[i]));
    }

private:
    using IntKeys = std::initializer_list<std::pair<const char*, std::int32_t>>;

    static std::string Quoted(const std::string& text) { return '"' + text + '"'; }

    void Int(const std::string& key, std::int32_t& field, const std::string& section = {}) {
        field = ini_.GetInt(section.empty() ? main_ : section, key, field);
    }
    void Unsigned(const std::string& key, std::uint32_t& field) {
        field = static_cast<std::uint32_t>(ini_.GetInt(main_, key, static_cast<std::int32_t>(field)));
    }
    void Byte(const std::string& key, std::uint8_t& field) {
        field = static_cast<std::uint8_t>(ini_.GetInt(main_, key, field) & 0xFF);
    }
    void Text(const std::string& key, std::string& field, const std::string& section = {}) {
        field = ini_.GetString(section.empty() ? main_ : section, key, "", kPathMax);
    }

    IniDocument& ini_;
    const std::string& main_;
};

}  // namespace

bool LoadSettings(const std::string& section, const std::string& path, Settings& settings) {
    IniDocument ini = IniDocument::Load(path);
    Fields(ini, section).Load(settings);
    return true;
}

bool SaveSettings(const std::string& section, const std::string& path, const Settings& settings) {
    // Sections other than ours (and lines we do not understand in them)
    // are kept; ours are written again whole.
    IniDocument ini = IniDocument::Load(path);
    Fields(ini, section).Save(settings);
    return ini.Save(path);
}

std::string ChooseSettingsPath(const std::string& executableDir, bool executableDirWritable,
                               const char* xdgConfigHome, const char* home) {
    const std::string file = std::string(kAppName) + ".INI";
    if (!executableDir.empty() && executableDirWritable && !IsSystemDirectory(executableDir)) {
        return executableDir + "/" + file;
    }
    // Relative XDG paths are invalid and ignored.
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/tolvane/" + file;
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/tolvane/" + file;
    return file;
}

std::string DefaultSettingsPath() {
    std::string dir;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        dir.assign(exe, static_cast<std::size_t>(n));
        const std::size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? std::string() : dir.substr(0, slash == 0 ? 1 : slash);
    }
    const bool writable = !dir.empty() && ::access(dir.c_str(), W_OK) == 0;
    return ChooseSettingsPath(dir, writable, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

}  // namespace tolvane
