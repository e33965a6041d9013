// The settings file: an INI file with the main section "Tolvane", the
// section "Filter" and, when there are channels, the section "Channels":
//   IqSampleRate, IqCenter (Hz), IqPpm, IqGain (dB, -1 automatic), IqFormat,
//   ChannelCount and Channel1..ChannelN (see FormatChannelValue). Reading and writing are the project's own (case-
// insensitive names, quoted strings, leading-number integers).
#pragma once

#include <string>
#include <vector>

#include "settings/ini_file.h"
#include "settings/settings.h"

namespace tolvane {

inline constexpr const char* kAppName = "Tolvane";

// What loading the settings file found besides the values: whether the
// file was read, and one line for the user (naming the file) about each
// thing not taken from it.
struct SettingsLoad {
    // Missing: the record keeps its values. Unreadable: so does it, and the
    // file must not be saved over, since what it holds is unknown.
    FileState file = FileState::Read;
    std::vector<std::string> messages;
};

// Overlays the record from the file. A value out of range (see below) is
// not taken: the field keeps its value and a message says so.
SettingsLoad LoadSettings(const std::string& section, const std::string& path, Settings& settings);
// Rewrites the file whole, through a temporary file renamed over it. False,
// with the reason (naming the file) in `problem`, when the file was not
// written: it could not be written (the old file is then intact), or it is
// there but cannot be read, so that the other sections in it would be lost.
bool SaveSettings(const std::string& section, const std::string& path, const Settings& settings,
                  std::string* problem = nullptr);

// Tolvane.INI beside the executable when that directory is writable (a
// portable install), else $XDG_CONFIG_HOME/tolvane/Tolvane.INI (default
// ~/.config/tolvane/).
std::string DefaultSettingsPath();

// The choice DefaultSettingsPath makes, from its inputs: the executable's
// directory (empty if unknown) and whether it is writable, and the values
// of XDG_CONFIG_HOME and HOME (nullptr when unset). System directories
// (/usr, /bin, /sbin, /lib, /etc) never hold a portable install, even when
// writable (as for root).
std::string ChooseSettingsPath(const std::string& executableDir, bool executableDirWritable,
                               const char* xdgConfigHome, const char* home);

// Values beyond what the record can use are bounded on load: at most 200
// filters; a keep-alive start or stop outside 0..24, a timeout index outside
// 0..13 and a font height beyond 1000 pixels either way are out of range.
inline constexpr int kKeepAliveHourMax = 24;
inline constexpr int kKeepAliveTimeoutMax = 13;
inline constexpr int kFontHeightLimit = 1000;

}  // namespace tolvane
