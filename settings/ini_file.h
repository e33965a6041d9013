// A small INI document: sections of key=value lines, read and written by the
// rules the settings file relies on:
//  - section and key names match without regard to (ASCII) case;
//  - an integer read gives the default when the key is absent (or empty),
//    else the leading signed decimal number of the value (0 if none);
//  - a string read gives the default when the key is absent, strips one
//    pair of enclosing double quotes, and keeps at most a given length;
//  - setting a key replaces the first one of that name or appends it,
//    creating the section as needed; a section can be removed whole.
// Lines the document does not understand (comments, other sections) are
// kept as they are. Saving goes through a temporary file in the same
// directory renamed over the old one, so a failed save leaves the old file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

class IniDocument {
public:
    // Parses text; never fails (malformed lines are kept as text).
    static IniDocument Parse(std::string_view text);
    // Reads a file; a missing or unreadable file gives an empty document.
    static IniDocument Load(const std::string& path);

    std::string Serialize() const;
    // Writes the whole document to path through a temporary file; false
    // (old file untouched) when any step fails. Creates missing parent
    // directories.
    bool Save(const std::string& path) const;

    // The raw value (blanks around it removed), or nothing if absent.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
    std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                          std::size_t maxLength) const;

    // Line breaks in a value are written as spaces (one line per key).
    void Set(std::string_view section, std::string_view key, std::string_view value);
    void SetInt(std::string_view section, std::string_view key, std::int32_t value);
    void DeleteSection(std::string_view section);
    bool HasSection(std::string_view section) const;

private:
    struct Line {
        std::string key;  // empty for a line that is not key=value
        std::string value;
        std::string text;  // the line as read, for lines kept verbatim
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };

    const Section* Find(std::string_view section) const;
    Section* Find(std::string_view section);

    std::vector<std::string> preamble_;  // lines before the first section
    std::vector<Section> sections_;
};

// The leading signed decimal number of a text (blanks skipped first), as the
// profile integer read takes it; nothing if there is no digit. Values beyond
// the 32-bit range saturate.
std::optional<std::int32_t> LeadingInt(std::string_view text);

// The blanks a bare value loses at its ends when it is read back.
bool IsBlank(char c);

}  // namespace tolvane
