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

}  // namespace tolvane
