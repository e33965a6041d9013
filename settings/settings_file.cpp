#include "settings/settings_file.h"

namespace tolvane {

bool LoadSettings(const std::string&, const std::string&, Settings&) { return true; }

bool SaveSettings(const std::string&, const std::string&, const Settings&) { return false; }

std::string DefaultSettingsPath() { return "Tolvane.INI"; }

}  // namespace tolvane
