// Everything the core asks of the world outside it. The desktop program and
// the command-line decoder pass real implementations; tests pass fakes.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

struct LocalTime {
    int year = 2000;   // e.g. 2026
    int month = 1;     // 1..12
    int day = 1;       // 1..31
    int hour = 0;      // 0..23
    int minute = 0;
    int second = 0;

    bool operator==(const LocalTime&) const = default;
};

// The YYMMMDD base name of date-named files, e.g. "00JUL15".
std::string DateFileName(const LocalTime& date);

class WallClock {
public:
    virtual ~WallClock() = default;
    // Seconds since 1970.
    virtual std::time_t Now() const = 0;
    virtual LocalTime Local() const = 0;
    // The time of day and the date as the user's locale writes them.
    virtual std::string TimeOfDayText() const = 0;
    virtual std::string DateText() const = 0;
};

class TitleSink {
public:
    virtual ~TitleSink() = default;
    virtual void SetTitle(std::string_view title) = 0;
};

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts playing a sound file without waiting; false if it cannot.
    virtual bool PlayFile(const std::string& path) = 0;
    virtual void Beep() = 0;
};

class CommandLauncher {
public:
    virtual ~CommandLauncher() = default;
    // Starts program with these arguments directly (never through a shell)
    // and does not wait for it. False if it could not be started.
    virtual bool Start(const std::string& program, const std::vector<std::string>& args) = 0;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A one-line message to the user. The engine hands its messages over
    // after a tick, never inside one, so this may block (a modal box).
    virtual void ShowMessage(std::string_view text) = 0;
};

class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual bool Write(std::string_view text) = 0;
    virtual bool Flush() = 0;
};

class FileOpener {
public:
    virtual ~FileOpener() = default;
    // Opens path for appending; nullptr if it cannot be opened.
    virtual std::unique_ptr<OutputFile> OpenForAppend(const std::string& path) = 0;
};

// The set handed to an engine. The referenced objects outlive it.
struct OutsideWorld {
    WallClock& clock;
    TitleSink& title;
    SoundPlayer& sound;
    CommandLauncher& commands;
    MessageSink& messages;
    FileOpener& files;
};

}  // namespace tolvane
