// The one configuration record. Each field is named after its INI key so
// that the settings file, the dialogs and the code use one vocabulary.
// Text fields are std::string; their stored limits are applied when the file
// is read (see settings_file.h), never by failing.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/channel_record.h"
#include "settings/filter_record.h"

namespace tolvane {

// Colour classes of a character cell; the value indexes the colour table.
enum class ColorClass : std::uint8_t {
    RowEnd = 0,
    Background = 1,
    Capcode = 2,
    FLEXPhase = 3,
    FLEXFormat = 4,
    Timestamp = 5,
    Numeric = 6,
    Alphanumeric = 7,
    FLEXBinary = 8,
    Misc = 9,
    BitErrors = 10,
    FilterMatch = 11,
    FilterLabel = 12,
};

inline constexpr int kColorCount = 12;

// The 7-bit national variants of paging text: each gives the characters
// [ \ ] { | } ~ to letters of its language (see output/charset.h). Stored
// by number in the settings file (Charset) and in a filter value.
enum class NationalCharset : std::int32_t {
    Ascii = 0,
    German = 1,
    DanishNorwegian = 2,
    SwedishFinnish = 3,
    French = 4,
    Italian = 5,
    Spanish = 6,
};
inline constexpr std::int32_t kNationalCharsetLast = 6;
// Display names in NationalCharset order.
inline constexpr std::array<const char*, kNationalCharsetLast + 1> kNationalCharsetNames = {
    "ASCII", "German", "Danish/Norwegian", "Swedish/Finnish", "French", "Italian", "Spanish"};

// A colour as the INI file stores it, one number: red + 256 * green +
// 65536 * blue.
constexpr std::uint32_t MakeColor(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return (red & 0xFFu) + 256u * (green & 0xFFu) + 65536u * (blue & 0xFFu);
}

// The pane font, laid out like a logical-font record; the underline and
// strike-out bytes exist but are never stored.
struct FontRecord {
    std::int32_t Height = -11;
    std::int32_t Width = 0;
    std::int32_t Escapement = 0;
    std::int32_t Orientation = 0;
    std::int32_t Weight = 400;
    std::uint8_t Italic = 0;
    std::uint8_t Underline = 0;
    std::uint8_t StrikeOut = 0;
    std::uint8_t CharSet = 255;
    std::uint8_t OutPrecision = 3;
    std::uint8_t ClipPrecision = 0;
    std::uint8_t Quality = 0;
    std::uint8_t PitchAndFamily = 0x31;
    std::string FaceName = "Courier New";  // at most 31 characters

    bool operator==(const FontRecord&) const = default;
};

// Where the desktop program takes its signal from: the Linux inputs (serial
// device, sound card, file) need a name beside the port keys.
struct InputChoice {
    std::string Input;        // "serial:/dev/ttyS0", "audio:default", a file path, or empty
    std::int32_t InputRate = 22050;  // sample rate for raw audio input
    // The Interface dialog's choice, from which Input is made.
    std::int32_t InputKind = 0;      // 0 the serial interface, 1 a sound card
    std::string ComPortDevice;       // device of the custom port, e.g. /dev/ttyUSB0
    std::string AudioDevice;         // sound card as the sound system names it; empty: its default
    std::int32_t AudioRate = 48000;  // capture rate of the sound card
    // The corner (Hz) of the high-pass in front of the slicer when the audio
    // input is AC-coupled (a sound-card line input, a speaker output), which
    // the slicer undoes; 0: DC-coupled. Saved only when not 0.
    std::int32_t InputHighPass = 0;

    bool operator==(const InputChoice&) const = default;
};

// Machine-readable output of the desktop program (tolvane-cli takes the
// broker from --mqtt as well).
struct MachineChoice {
    std::string ReceiverName;      // empty: the host name
    std::string MqttBroker;        // mqtt://[user[:password]@]host[:port][/topic]; empty: no MQTT
    std::string MqttTopic;         // empty: tolvane/RECEIVER/pages
    std::string MqttUser;
    std::string MqttPasswordFile;  // the password is the file's first line
    std::string MqttClientId;      // empty: tolvane-RECEIVER-PID

    bool operator==(const MachineChoice&) const = default;
};

// How the desktop program's main window was left, beside its place and
// outer size (xPos, yPos, xSize, ySize): the size of its inside, which is
// what a start gives it again (the window manager's frame comes around it),
// 0 when not known (the outer size is used); and whether it was maximised,
// the other fields then keeping the window as it was before.
struct WindowChoice {
    std::int32_t ClientWidth = 0;
    std::int32_t ClientHeight = 0;
    std::int32_t Maximized = 0;

    bool operator==(const WindowChoice&) const = default;
};

// The band an IQ input (a recording or an SDR) delivers, and the channels
// decoded from it, each by its own receiver. Without channels the input is
// not IQ and the program runs one receiver, as it always has. Saved in the
// section "Channels" only when there are channels.
struct IqBand {
    double SampleRate = 0;  // samples/s; 0: from the recording (a WAV header)
    double CenterHz = 0;    // the frequency tuned to; 0: from the recording
    double Ppm = 0;         // the receiver's frequency error, parts per million
    double GainDb = -1;     // live receivers: tuner gain; below 0 automatic
    std::string Format;     // cu8, cs8, cs16, cf32 or wav; empty: from the file name
    std::vector<ChannelRecord> Channels;

    bool operator==(const IqBand&) const = default;
};

struct Settings {
    std::int32_t xPos = 0;
    std::int32_t yPos = 0;
    std::int32_t xSize = 592;
    std::int32_t ySize = 350;
    std::int32_t Timestamp = 1;
    std::int32_t ShowFrame = 1;
    std::int32_t ConfirmExit = 1;
    std::int32_t ShowNumeric = 1;
    std::int32_t ShowMisc = 1;
    std::int32_t FilterBeep = 0;
    std::int32_t DecodePocsag = 1;
    std::int32_t DecodeFlex = 1;
    std::int32_t DecodeGolay = 1;
    std::int32_t ComPort = 0;  // 0 none, 1..4 COM1..COM4, 5 custom
    std::uint32_t ComPortAddr = 0;
    std::uint32_t ComPortIRQ = 0;
    std::int32_t FourLevelInterface = 0;  // INI key "4LevelInterface"
    std::int32_t InvertData = 0;
    // With InvertData 0: 1 = take the polarity from the sync words seen
    // (complemented ones flip it), 0 = always the usual sense.
    std::int32_t AutoPolarity = 1;
    double Percent = 75.0;
    FontRecord Font;

    std::int32_t LogFileEnabled = 0;
    std::string LogFile;
    std::int32_t LogFileUseDate = 0;
    std::int32_t LogFileFlush = 0;
    std::int32_t LogFlushTime = 0;

    // Section "Filter".
    std::int32_t FilterFileEnabled = 0;
    std::string FilterFile;
    std::int32_t FilterFileUseDate = 0;
    std::int32_t FilterFileFlush = 0;
    std::int32_t FilterFlushTime = 0;
    std::int32_t FilterCmdFileEnabled = 0;
    std::string FilterCmdFile;
    std::string FilterCmdArgs;

    // Indexed by ColorClass - 1 (Background .. FilterLabel).
    std::array<std::uint32_t, kColorCount> Color = DefaultColors();

    std::uint32_t Pane1Size = 1000;
    std::uint32_t Pane2Size = 200;

    std::int32_t StatFileEnabled = 0;
    std::string StatFile;
    std::int32_t StatFileUseDate = 0;
    std::int32_t StatCSVFileEnabled = 0;
    std::string StatCSVFile;
    std::int32_t StatCSVFileUseDate = 0;

    std::array<std::int32_t, 3> KeepAliveStart{};
    std::array<std::int32_t, 3> KeepAliveStop{};
    std::array<std::int32_t, 3> KeepAliveTimeout{};
    std::int32_t KeepAliveCmdFileEnabled = 0;
    std::string KeepAliveCmdFile;
    std::string KeepAliveCmdArgs;

    InputChoice Input;
    IqBand Iq;
    MachineChoice Machine;
    WindowChoice Window;

    // How pages are shown. Newer keys: a file is saved with them only when
    // they differ from these defaults, so older files save as they were.
    std::int32_t JoinFragments = 1;  // a FLEX message sent in fragments is shown once, whole
    std::int32_t RepeatWindow = 0;   // seconds in which the same page again is folded; 0 = off
    std::int32_t Charset = 0;        // a NationalCharset

    // The filter table: at most kMaxFilters records in list order;
    // FilterCount is Filters.size().
    std::vector<FilterRecord> Filters;

    // ShowNumeric and ShowMisc keep the number the file holds (so that it
    // saves as it was read); this is the one place that reads them, into the
    // yes or no each decoder asks. ShowNumeric reads two ways, both
    // intended: POCSAG shows numeric and tone-only pages for any number but
    // 0, FLEX only for 1 (a file's 2 shows POCSAG numbers and hides FLEX
    // ones); FLEX shows its miscellaneous (binary) pages only for ShowMisc 1.
    bool PocsagShowsNumeric() const { return ShowNumeric != 0; }
    bool FlexShowsNumeric() const { return ShowNumeric == 1; }
    bool FlexShowsMisc() const { return ShowMisc == 1; }

    std::uint32_t& ColorOf(ColorClass c) { return Color[static_cast<std::size_t>(c) - 1]; }
    std::uint32_t ColorOf(ColorClass c) const { return Color[static_cast<std::size_t>(c) - 1]; }

    static std::array<std::uint32_t, kColorCount> DefaultColors() {
        return {
            MakeColor(0, 0, 0),        // Background
            MakeColor(0, 128, 0),      // Capcode
            MakeColor(0, 255, 255),    // FLEXPhase
            MakeColor(255, 0, 255),    // FLEXFormat
            MakeColor(0, 0, 255),      // Timestamp
            MakeColor(255, 0, 0),      // Numeric
            MakeColor(255, 255, 0),    // Alphanumeric
            MakeColor(128, 128, 64),   // FLEXBinary
            MakeColor(255, 0, 0),      // Misc: follows Numeric, has no key
            MakeColor(192, 192, 192),  // BitErrors
            MakeColor(255, 255, 255),  // FilterMatch
            MakeColor(0, 255, 0),      // FilterLabel
        };
    }

    bool operator==(const Settings&) const = default;
};

// The receiver settings of one channel: the station's, with the channel's
// levels and polarity in 4LevelInterface, InvertData and AutoPolarity.
Settings ChannelSettings(const Settings& station, const ChannelRecord& channel);

}  // namespace tolvane
