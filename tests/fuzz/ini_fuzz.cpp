// The settings file: any bytes load without harm, a saved file keeps what
// it holds through another load and save, and the INI document serialises
// to a fixed point.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz_input.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string once = IniDocument::Parse(text).Serialize();
    if (IniDocument::Parse(once).Serialize() != once) fuzz::Broken("serialising is not stable");

    fuzz::MemoryFile file(data, size);
    if (!file.Ok()) return 0;
    Settings settings;
    LoadSettings(kAppName, file.Path(), settings);
    if (settings.Filters.size() > static_cast<std::size_t>(kMaxFilters)) fuzz::Broken("too many filters");

    // What a save writes reads back to settings that save to the same text.
    static const std::string saved =
        (std::filesystem::temp_directory_path() / ("tolvane-ini-fuzz-" + std::to_string(::getpid()) + ".ini")).string();
    std::string texts[2];
    for (std::string& written : texts) {
        std::filesystem::remove(saved);
        if (!SaveSettings(kAppName, saved, settings)) return 0;
        std::ifstream in(saved, std::ios::binary);
        written.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        settings = Settings();
        LoadSettings(kAppName, saved, settings);
    }
    std::filesystem::remove(saved);
    if (texts[0] != texts[1]) fuzz::Broken("a saved settings file changes when loaded and saved again");
    return 0;
}
