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
// kept as they are. A UTF-8 byte-order mark at the start is skipped (some
// editors write one). Saving goes through a temporary file in the same
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

    std::string Serialize() const;
    // Writes the whole document to path through a temporary file; false
    // (old file untouched, the system's reason in `problem`) when any step
    // fails. Creates missing parent directories.
    bool Save(const std::string& path, std::string& problem) const;

    // The raw value (blanks around it removed), or nothing if absent.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
    std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                          std::size_t maxLength) const;

    // Line breaks in a value are written as spaces (one line per key).
    void Set(std::string_view section, std::string_view key, std::string_view value);
    void SetInt(std::string_view section, std::string_view key, std::int32_t value);
    void DeleteSection(std::string_view section);

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

// A file read as a document. A missing file (or folder) reads as an empty
// document. A file that is there but cannot be read (no permission, a
// folder, a read error) or whose text is UTF-16 reads as an empty document
// too, with the reason: what it holds is unknown, so it must not be saved
// over.
enum class FileState : std::uint8_t { Read, Missing, Unreadable };
struct IniFile {
    FileState state = FileState::Read;
    std::string problem;  // Unreadable: why
    IniDocument document;
};
IniFile ReadIniFile(const std::string& path);

// The leading signed decimal number of a text (blanks skipped first), as the
// profile integer read takes it; nothing if there is no digit. Values beyond
// the 32-bit range saturate.
std::optional<std::int32_t> LeadingInt(std::string_view text);

// A hexadecimal number as "%x" reads it where the settings hold one (a port
// address): blanks, an optional 0x, then the hexadecimal digits up to the
// first other character; nothing if there is no digit. A value beyond 32
// bits keeps its low 32 bits.
std::optional<std::uint32_t> LeadingHex(std::string_view text);

// The blanks a bare value loses at its ends when it is read back.
bool IsBlank(char c);

}  // namespace tolvane
