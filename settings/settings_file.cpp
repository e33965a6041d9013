#include "settings/settings_file.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <variant>

#include "settings/ini_file.h"

namespace tolvane {

namespace {

constexpr const char* kFilterSection = "Filter";
constexpr const char* kChannelSection = "Channels";
constexpr std::size_t kPathMax = 255;      // path and argument keys
constexpr std::size_t kPortTextMax = 15;   // ComPort, ComPortAddr, ComPortIRQ
constexpr std::size_t kColorTextMax = 12;
constexpr std::size_t kFaceNameMax = 31;
constexpr std::size_t kFilterValueMax = 255;
constexpr std::size_t kInputMax = 4095;

std::string FilterKey(std::size_t index) { return "Filter" + std::to_string(index + 1); }
std::string ChannelKey(std::size_t index) { return "Channel" + std::to_string(index + 1); }

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
    return LeadingHex(std::string_view(text).substr(2));
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

bool IsSystemDirectory(const std::string& dir) {
    for (const char* root : {"/usr", "/bin", "/sbin", "/lib", "/lib64", "/etc"}) {
        const std::string r = root;
        if (dir == r || dir.compare(0, r.size() + 1, r + "/") == 0) return true;
    }
    return false;
}

// Where a key's value lives in the record.
using Field = std::variant<std::int32_t*, std::uint32_t*, std::uint8_t*, double*, std::string*>;
using FieldOf = Field (*)(Settings&);

template <auto Member>
Field Top(Settings& s) {
    return &(s.*Member);
}
template <auto Outer, auto Inner>
Field In(Settings& s) {
    return &((s.*Outer).*Inner);
}
template <auto Member, std::size_t I>
Field At(Settings& s) {
    return &(s.*Member)[I];
}
template <ColorClass C>
Field ColorField(Settings& s) {
    return &s.ColorOf(C);
}

enum class Kind : std::uint8_t {
    Number,       // decimal; a byte keeps its low 8 bits, Percent is truncated
    Text,         // at most `limit` characters, written as it is
    Quoted,       // at most `limit` characters, written in double quotes
    Color,        // "r,g,b"; the colour stays unless all three numbers are there
    Port,         // ComPort, ComPortAddr and ComPortIRQ, in use only together
    FilterTable,  // FilterCount, then Filter1..FilterN
};

enum class Where : bool { Main, Filter };

struct Key {
    const char* name;
    Kind kind;
    FieldOf field = nullptr;  // none for Port and FilterTable
    Where section = Where::Main;
    std::int32_t min = INT32_MIN;  // a number outside min..max is not taken
    std::int32_t max = INT32_MAX;
    std::size_t limit = kPathMax;  // longest text kept
    const char* fallback = "";     // the text of an absent key
    // A newer number key, saved only when it differs from its default:
    // files written before it existed are saved as they were.
    bool onlyChanged = false;
};

constexpr std::int32_t kRepeatWindowMax = 24 * 3600;
// A speaker output's coupling is near 300 Hz; far above, no data survives it.
constexpr std::int32_t kInputHighPassMax = 2000;

// Every key of the record, in file order; loading and saving both walk it.
// Misc has no colour key: it keeps its default.
constexpr Key kKeys[] = {
    {"xPos", Kind::Number, Top<&Settings::xPos>},
    {"yPos", Kind::Number, Top<&Settings::yPos>},
    {"xSize", Kind::Number, Top<&Settings::xSize>},
    {"ySize", Kind::Number, Top<&Settings::ySize>},
    {"ClientWidth", Kind::Number, In<&Settings::Window, &WindowChoice::ClientWidth>},
    {"ClientHeight", Kind::Number, In<&Settings::Window, &WindowChoice::ClientHeight>},
    {"Maximized", Kind::Number, In<&Settings::Window, &WindowChoice::Maximized>},
    {"Timestamp", Kind::Number, Top<&Settings::Timestamp>},
    {"ShowFrame", Kind::Number, Top<&Settings::ShowFrame>},
    {"ConfirmExit", Kind::Number, Top<&Settings::ConfirmExit>},
    {"ShowNumeric", Kind::Number, Top<&Settings::ShowNumeric>},
    {"ShowMisc", Kind::Number, Top<&Settings::ShowMisc>},
    {"FilterBeep", Kind::Number, Top<&Settings::FilterBeep>},
    {"DecodePocsag", Kind::Number, Top<&Settings::DecodePocsag>},
    {"DecodeFlex", Kind::Number, Top<&Settings::DecodeFlex>},
    {"DecodeGolay", Kind::Number, Top<&Settings::DecodeGolay>},
    {"4LevelInterface", Kind::Number, Top<&Settings::FourLevelInterface>},
    {"InvertData", Kind::Number, Top<&Settings::InvertData>},
    {"AutoPolarity", Kind::Number, Top<&Settings::AutoPolarity>},
    {"Percent", Kind::Number, Top<&Settings::Percent>},
    {"ComPort", Kind::Port},
    {.name = "Font.Height", .kind = Kind::Number, .field = In<&Settings::Font, &FontRecord::Height>,
     .min = -kFontHeightLimit, .max = kFontHeightLimit},
    {"Font.Width", Kind::Number, In<&Settings::Font, &FontRecord::Width>},
    {"Font.Escapement", Kind::Number, In<&Settings::Font, &FontRecord::Escapement>},
    {"Font.Orientation", Kind::Number, In<&Settings::Font, &FontRecord::Orientation>},
    {"Font.Weight", Kind::Number, In<&Settings::Font, &FontRecord::Weight>},
    {"Font.Italic", Kind::Number, In<&Settings::Font, &FontRecord::Italic>},
    {"Font.CharSet", Kind::Number, In<&Settings::Font, &FontRecord::CharSet>},
    {"Font.OutPrecision", Kind::Number, In<&Settings::Font, &FontRecord::OutPrecision>},
    {"Font.ClipPrecision", Kind::Number, In<&Settings::Font, &FontRecord::ClipPrecision>},
    {"Font.Quality", Kind::Number, In<&Settings::Font, &FontRecord::Quality>},
    {"Font.PitchAndFamily", Kind::Number, In<&Settings::Font, &FontRecord::PitchAndFamily>},
    {.name = "Font.FaceName", .kind = Kind::Text, .field = In<&Settings::Font, &FontRecord::FaceName>,
     .limit = kFaceNameMax, .fallback = "Courier New"},
    {"Color.Background", Kind::Color, ColorField<ColorClass::Background>},
    {"Color.Capcode", Kind::Color, ColorField<ColorClass::Capcode>},
    {"Color.FLEXPhase", Kind::Color, ColorField<ColorClass::FLEXPhase>},
    {"Color.FLEXFormat", Kind::Color, ColorField<ColorClass::FLEXFormat>},
    {"Color.Timestamp", Kind::Color, ColorField<ColorClass::Timestamp>},
    {"Color.Numeric", Kind::Color, ColorField<ColorClass::Numeric>},
    {"Color.Alphanumeric", Kind::Color, ColorField<ColorClass::Alphanumeric>},
    {"Color.FLEXBinary", Kind::Color, ColorField<ColorClass::FLEXBinary>},
    {"Color.BitErrors", Kind::Color, ColorField<ColorClass::BitErrors>},
    {"Color.FilterMatch", Kind::Color, ColorField<ColorClass::FilterMatch>},
    {"Color.FilterLabel", Kind::Color, ColorField<ColorClass::FilterLabel>},
    {"LogFileEnabled", Kind::Number, Top<&Settings::LogFileEnabled>},
    {"LogFile", Kind::Text, Top<&Settings::LogFile>},
    {"LogFileUseDate", Kind::Number, Top<&Settings::LogFileUseDate>},
    {"LogFileFlush", Kind::Number, Top<&Settings::LogFileFlush>},
    {"LogFlushTime", Kind::Number, Top<&Settings::LogFlushTime>},
    {"Pane1Size", Kind::Number, Top<&Settings::Pane1Size>},
    {"Pane2Size", Kind::Number, Top<&Settings::Pane2Size>},
    {"StatFileEnabled", Kind::Number, Top<&Settings::StatFileEnabled>},
    {"StatFile", Kind::Text, Top<&Settings::StatFile>},
    {"StatFileUseDate", Kind::Number, Top<&Settings::StatFileUseDate>},
    {"StatCSVFileEnabled", Kind::Number, Top<&Settings::StatCSVFileEnabled>},
    {"StatCSVFile", Kind::Text, Top<&Settings::StatCSVFile>},
    {"StatCSVFileUseDate", Kind::Number, Top<&Settings::StatCSVFileUseDate>},
    {.name = "KeepAliveStart1", .kind = Kind::Number, .field = At<&Settings::KeepAliveStart, 0>,
     .min = 0, .max = kKeepAliveHourMax},
    {.name = "KeepAliveStop1", .kind = Kind::Number, .field = At<&Settings::KeepAliveStop, 0>,
     .min = 0, .max = kKeepAliveHourMax},
    {.name = "KeepAliveTimeout1", .kind = Kind::Number, .field = At<&Settings::KeepAliveTimeout, 0>,
     .min = 0, .max = kKeepAliveTimeoutMax},
    {.name = "KeepAliveStart2", .kind = Kind::Number, .field = At<&Settings::KeepAliveStart, 1>,
     .min = 0, .max = kKeepAliveHourMax},
    {.name = "KeepAliveStop2", .kind = Kind::Number, .field = At<&Settings::KeepAliveStop, 1>,
     .min = 0, .max = kKeepAliveHourMax},
    {.name = "KeepAliveTimeout2", .kind = Kind::Number, .field = At<&Settings::KeepAliveTimeout, 1>,
     .min = 0, .max = kKeepAliveTimeoutMax},
    {.name = "KeepAliveStart3", .kind = Kind::Number, .field = At<&Settings::KeepAliveStart, 2>,
     .min = 0, .max = kKeepAliveHourMax},
    {.name = "KeepAliveStop3", .kind = Kind::Number, .field = At<&Settings::KeepAliveStop, 2>,
     .min = 0, .max = kKeepAliveHourMax},
    {.name = "KeepAliveTimeout3", .kind = Kind::Number, .field = At<&Settings::KeepAliveTimeout, 2>,
     .min = 0, .max = kKeepAliveTimeoutMax},
    {"KeepAliveCmdFileEnabled", Kind::Number, Top<&Settings::KeepAliveCmdFileEnabled>},
    {"KeepAliveCmdFile", Kind::Text, Top<&Settings::KeepAliveCmdFile>},
    {"KeepAliveCmdArgs", Kind::Quoted, Top<&Settings::KeepAliveCmdArgs>},
    {.name = "Input", .kind = Kind::Quoted, .field = In<&Settings::Input, &InputChoice::Input>, .limit = kInputMax},
    {"InputRate", Kind::Number, In<&Settings::Input, &InputChoice::InputRate>},
    {"InputKind", Kind::Number, In<&Settings::Input, &InputChoice::InputKind>},
    {.name = "ComPortDevice", .kind = Kind::Quoted, .field = In<&Settings::Input, &InputChoice::ComPortDevice>,
     .limit = kInputMax},
    {.name = "AudioDevice", .kind = Kind::Quoted, .field = In<&Settings::Input, &InputChoice::AudioDevice>,
     .limit = kInputMax},
    {"AudioRate", Kind::Number, In<&Settings::Input, &InputChoice::AudioRate>},
    {.name = "InputHighPass", .kind = Kind::Number, .field = In<&Settings::Input, &InputChoice::InputHighPass>, .min = 0,
     .max = kInputHighPassMax, .onlyChanged = true},
    {"ReceiverName", Kind::Text, In<&Settings::Machine, &MachineChoice::ReceiverName>},
    {"MqttBroker", Kind::Text, In<&Settings::Machine, &MachineChoice::MqttBroker>},
    {"MqttTopic", Kind::Text, In<&Settings::Machine, &MachineChoice::MqttTopic>},
    {"MqttUser", Kind::Text, In<&Settings::Machine, &MachineChoice::MqttUser>},
    {"MqttPasswordFile", Kind::Text, In<&Settings::Machine, &MachineChoice::MqttPasswordFile>},
    {"MqttClientId", Kind::Text, In<&Settings::Machine, &MachineChoice::MqttClientId>},
    {.name = "JoinFragments", .kind = Kind::Number, .field = Top<&Settings::JoinFragments>, .min = 0, .max = 1, .onlyChanged = true},
    {.name = "RepeatWindow", .kind = Kind::Number, .field = Top<&Settings::RepeatWindow>, .min = 0, .max = kRepeatWindowMax,
     .onlyChanged = true},
    {.name = "Charset", .kind = Kind::Number, .field = Top<&Settings::Charset>, .min = 0, .max = kNationalCharsetLast,
     .onlyChanged = true},
    {"FilterFileEnabled", Kind::Number, Top<&Settings::FilterFileEnabled>, Where::Filter},
    {"FilterFile", Kind::Text, Top<&Settings::FilterFile>, Where::Filter},
    {"FilterFileUseDate", Kind::Number, Top<&Settings::FilterFileUseDate>, Where::Filter},
    {"FilterFileFlush", Kind::Number, Top<&Settings::FilterFileFlush>, Where::Filter},
    {"FilterFlushTime", Kind::Number, Top<&Settings::FilterFlushTime>, Where::Filter},
    {"FilterCmdFileEnabled", Kind::Number, Top<&Settings::FilterCmdFileEnabled>, Where::Filter},
    {"FilterCmdFile", Kind::Text, Top<&Settings::FilterCmdFile>, Where::Filter},
    {"FilterCmdArgs", Kind::Quoted, Top<&Settings::FilterCmdArgs>, Where::Filter},
    {"FilterCount", Kind::FilterTable, nullptr, Where::Filter},
};

// A number field as the file holds it.
std::int32_t NumberOf(const Field& field) {
    if (const auto* p = std::get_if<std::int32_t*>(&field)) return **p;
    if (const auto* p = std::get_if<std::uint32_t*>(&field)) return static_cast<std::int32_t>(**p);
    if (const auto* p = std::get_if<std::uint8_t*>(&field)) return **p;
    if (const auto* p = std::get_if<double*>(&field)) return TruncatedPercent(**p);
    return 0;
}

void SetNumber(const Field& field, std::int32_t value) {
    if (const auto* p = std::get_if<std::int32_t*>(&field)) **p = value;
    if (const auto* p = std::get_if<std::uint32_t*>(&field)) **p = static_cast<std::uint32_t>(value);
    if (const auto* p = std::get_if<std::uint8_t*>(&field)) **p = static_cast<std::uint8_t>(value & 0xFF);
    if (const auto* p = std::get_if<double*>(&field)) **p = value;
}

std::string Quoted(const std::string& text) { return '"' + text + '"'; }

void LoadPort(const IniDocument& ini, const std::string& section, Settings& s) {
    const std::string port = ini.GetString(section, "ComPort", "", kPortTextMax);
    if (port.empty()) {
        s.ComPort = 0;
        return;
    }
    if (port == "Custom") {
        s.ComPort = 5;
    } else if (port.compare(0, 3, "COM") == 0) {
        std::size_t at = 3;
        if (const auto n = ScanInt(port, at)) s.ComPort = *n;
    }
    // A port is in use only when all three keys are there.
    const std::string address = ini.GetString(section, "ComPortAddr", "", kPortTextMax);
    if (address.empty()) {
        s.ComPort = 0;
    } else if (const auto a = ParsePortAddress(address)) {
        s.ComPortAddr = *a;
    }
    const std::string irq = ini.GetString(section, "ComPortIRQ", "", kPortTextMax);
    std::size_t at = 0;
    if (irq.empty()) {
        s.ComPort = 0;
    } else if (const auto n = ScanInt(irq, at)) {
        s.ComPortIRQ = static_cast<std::uint32_t>(*n);
    }
}

void SavePort(IniDocument& ini, const std::string& section, const Settings& s) {
    if (s.ComPort == 0) return;
    ini.Set(section, "ComPort", s.ComPort == 5 ? std::string("Custom") : "COM" + std::to_string(s.ComPort));
    ini.Set(section, "ComPortAddr", FormatPortAddress(s.ComPortAddr));
    ini.SetInt(section, "ComPortIRQ", static_cast<std::int32_t>(s.ComPortIRQ));
}

void LoadFilters(const IniDocument& ini, const std::string& section, Settings& s) {
    // Without a count the table stays as it is, like any absent number.
    if (!ini.Value(section, "FilterCount")) return;
    const std::int32_t count = ini.GetInt(section, "FilterCount", 0);
    s.Filters.clear();
    for (std::int32_t i = 0; i < std::min(count, kMaxFilters); ++i) {
        const auto index = static_cast<std::size_t>(i);
        // A damaged count may promise more filters than the file has: only
        // those that are there are loaded.
        if (!ini.Value(section, FilterKey(index))) continue;
        s.Filters.push_back(ParseFilterValue(ini.GetString(section, FilterKey(index), "", kFilterValueMax)));
    }
}

void SaveFilters(IniDocument& ini, const std::string& section, const Settings& s) {
    const std::size_t count = std::min(s.Filters.size(), static_cast<std::size_t>(kMaxFilters));
    ini.SetInt(section, "FilterCount", static_cast<std::int32_t>(count));
    for (std::size_t i = 0; i < count; ++i) ini.Set(section, FilterKey(i), FormatFilterValue(s.Filters[i]));
}

// The IQ band's numbers: a decimal number each, within its range.
struct BandKey {
    const char* name;
    double IqBand::*field;
    double min;
    double max;
};
constexpr BandKey kBandKeys[] = {
    {"IqSampleRate", &IqBand::SampleRate, 0, 1e8},
    {"IqCenter", &IqBand::CenterHz, 0, kChannelFrequencyMax},
    {"IqPpm", &IqBand::Ppm, -1000, 1000},
    {"IqGain", &IqBand::GainDb, -1, 100},
};

std::string FormatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

void LoadChannels(const IniDocument& ini, Settings& s, std::vector<std::string>& problems) {
    IqBand& band = s.Iq;
    for (const BandKey& k : kBandKeys) {
        const std::optional<std::string> text = ini.Value(kChannelSection, k.name);
        if (!text || text->empty()) continue;
        char* end = nullptr;
        const double value = std::strtod(text->c_str(), &end);
        if (end != text->c_str() && *end == '\0' && value >= k.min && value <= k.max) {
            band.*k.field = value;
        } else {
            problems.push_back(std::string(k.name) + "=" + *text + " is not a number from " + FormatNumber(k.min) +
                               " to " + FormatNumber(k.max) + "; " + FormatNumber(band.*k.field) + " kept");
        }
    }
    band.Format = ini.GetString(kChannelSection, "IqFormat", band.Format, kPortTextMax);
    // Without a count the list stays as it is, like the filter table.
    if (!ini.Value(kChannelSection, "ChannelCount")) return;
    const std::int32_t count = std::min(ini.GetInt(kChannelSection, "ChannelCount", 0), kMaxChannels);
    band.Channels.clear();
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string key = ChannelKey(static_cast<std::size_t>(i));
        const std::optional<std::string> value = ini.Value(kChannelSection, key);
        if (!value) continue;
        std::string trouble;
        const std::optional<ChannelRecord> channel = ParseChannelValue(ini.GetString(kChannelSection, key, "", kPathMax), trouble);
        if (!channel) {
            problems.push_back(key + "=" + *value + " has no frequency in Hz; left out");
            continue;
        }
        if (!trouble.empty()) problems.push_back(key + "=" + *value + ": " + trouble);
        band.Channels.push_back(*channel);
    }
}

void SaveChannels(IniDocument& ini, const Settings& s) {
    ini.DeleteSection(kChannelSection);
    const IqBand& band = s.Iq;
    if (band.Channels.empty()) return;
    for (const BandKey& k : kBandKeys) ini.Set(kChannelSection, k.name, FormatNumber(band.*k.field));
    ini.Set(kChannelSection, "IqFormat", band.Format);
    const std::size_t count = std::min(band.Channels.size(), static_cast<std::size_t>(kMaxChannels));
    ini.SetInt(kChannelSection, "ChannelCount", static_cast<std::int32_t>(count));
    for (std::size_t i = 0; i < count; ++i) ini.Set(kChannelSection, ChannelKey(i), FormatChannelValue(band.Channels[i]));
}

// Fills the record from the document; one line in `outOfRange` for each
// number not taken.
void Load(const IniDocument& ini, const std::string& main, Settings& s, std::vector<std::string>& outOfRange) {
    for (const Key& k : kKeys) {
        const std::string section = k.section == Where::Main ? main : kFilterSection;
        switch (k.kind) {
        case Kind::Number: {
            const Field field = k.field(s);
            const std::int32_t current = NumberOf(field);
            const std::int32_t value = ini.GetInt(section, k.name, current);
            if (value >= k.min && value <= k.max) {
                SetNumber(field, value);
            } else {
                outOfRange.push_back(std::string(k.name) + "=" + std::to_string(value) + " is out of range (" +
                                     std::to_string(k.min) + " to " + std::to_string(k.max) + "); " +
                                     std::to_string(current) + " kept");
            }
            break;
        }
        case Kind::Text:
        case Kind::Quoted:
            *std::get<std::string*>(k.field(s)) = ini.GetString(section, k.name, k.fallback, k.limit);
            break;
        case Kind::Color:
            if (const auto color = ParseColor(ini.GetString(section, k.name, "", kColorTextMax))) {
                *std::get<std::uint32_t*>(k.field(s)) = *color;
            }
            break;
        case Kind::Port: LoadPort(ini, section, s); break;
        case Kind::FilterTable: LoadFilters(ini, section, s); break;
        }
    }
    LoadChannels(ini, s, outOfRange);
}

void Save(IniDocument& ini, const std::string& main, const Settings& s) {
    ini.DeleteSection(main);
    ini.DeleteSection(kFilterSection);
    // The fields are only read here.
    Settings& record = const_cast<Settings&>(s);
    Settings defaults;
    for (const Key& k : kKeys) {
        const std::string section = k.section == Where::Main ? main : kFilterSection;
        switch (k.kind) {
        case Kind::Number:
            if (k.onlyChanged && NumberOf(k.field(record)) == NumberOf(k.field(defaults))) break;
            ini.SetInt(section, k.name, NumberOf(k.field(record)));
            break;
        case Kind::Text: {
            // Blanks at either end, or quotes around the whole, would not be
            // read back from a bare value: such a text is written quoted.
            const std::string& text = *std::get<std::string*>(k.field(record));
            const bool quote = !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()) ||
                                                 (text.size() >= 2 && text.front() == '"' && text.back() == '"'));
            ini.Set(section, k.name, quote ? Quoted(text) : text);
            break;
        }
        case Kind::Quoted: ini.Set(section, k.name, Quoted(*std::get<std::string*>(k.field(record)))); break;
        case Kind::Color: ini.Set(section, k.name, FormatColor(*std::get<std::uint32_t*>(k.field(record)))); break;
        case Kind::Port: SavePort(ini, section, s); break;
        case Kind::FilterTable: SaveFilters(ini, section, s); break;
        }
    }
    SaveChannels(ini, s);
}
}  // namespace

SettingsLoad LoadSettings(const std::string& section, const std::string& path, Settings& settings) {
    const IniFile file = ReadIniFile(path);
    SettingsLoad load;
    load.file = file.state;
    if (file.state == FileState::Unreadable) {
        load.messages.push_back("cannot read settings file " + path + ": " + file.problem);
        return load;
    }
    std::vector<std::string> outOfRange;
    Load(file.document, section, settings, outOfRange);
    for (const std::string& text : outOfRange) load.messages.push_back("settings file " + path + ": " + text);
    return load;
}

bool SaveSettings(const std::string& section, const std::string& path, const Settings& settings,
                  std::string* problem) {
    // Sections other than ours (and lines we do not understand in them)
    // are kept; ours are written again whole.
    IniFile file = ReadIniFile(path);
    std::string reason;
    if (file.state == FileState::Unreadable) {
        reason = "cannot read it (" + file.problem + ")";
    } else {
        Save(file.document, section, settings);
        if (file.document.Save(path, reason)) return true;
    }
    if (problem != nullptr) *problem = "cannot save settings to " + path + ": " + reason;
    return false;
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
