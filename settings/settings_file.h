// The settings file: an INI file with the main section "Tolvane" and the
// section "Filter". Reading and writing are the project's own (case-
// insensitive names, quoted strings, leading-number integers).
#pragma once

#include <string>

#include "settings/settings.h"

namespace tolvane {

inline constexpr const char* kAppName = "Tolvane";

// Overlays the record from the file; a missing file leaves the defaults.
// Always succeeds, as the settings store reports nothing.
bool LoadSettings(const std::string& section, const std::string& path, Settings& settings);
// Rewrites the file whole, through a temporary file renamed over it. False
// when the file could not be written (the old file is then intact).
bool SaveSettings(const std::string& section, const std::string& path, const Settings& settings);

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
// filters; a keep-alive start or stop outside 0..24 and a timeout index
// outside 0..13 read as 0 (disabled).
inline constexpr int kKeepAliveHourMax = 24;
inline constexpr int kKeepAliveTimeoutMax = 13;

}  // namespace tolvane
