// Everything the core asks of the world outside it. The desktop program and
// the command-line decoder pass real implementations; tests pass fakes.
#pragma once

#include <cstdint>
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

// The local time of a moment, and its text under a strftime format (under
// the user's LC_TIME).
LocalTime LocalTimeOf(std::time_t when);
std::string FormatLocalTime(std::time_t when, const char* format);
// The local zone's offset from UTC at that moment (TZ), in minutes.
int UtcOffsetMinutesAt(std::time_t when);

class WallClock {
public:
    virtual ~WallClock() = default;
    // Seconds since 1970.
    virtual std::time_t Now() const = 0;
    virtual LocalTime Local() const = 0;
    // The time of day and the date as the user's locale writes them.
    virtual std::string TimeOfDayText() const = 0;
    virtual std::string DateText() const = 0;
    // For machine-readable time stamps: milliseconds since 1970 and the
    // local offset from UTC at that moment.
    virtual std::int64_t NowMilliseconds() const { return std::int64_t{Now()} * 1000; }
    virtual int UtcOffsetMinutes() const { return 0; }
    // The engine's 100 ms timer tick, before its timed work. The system
    // clock runs by itself; a recording's clock moves on by 100 ms.
    virtual void TimerTick() {}
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
    // Appends text with a single write, so that programs appending to the
    // same file interleave whole texts only (callers hand over whole lines).
    // False if it failed; the text is then skipped.
    virtual bool Write(std::string_view text) = 0;
    virtual bool Flush() = 0;
    // The system's reason for the last failure, e.g. "No space left on device".
    virtual std::string Problem() const = 0;
};

class FileOpener {
public:
    virtual ~FileOpener() = default;
    // Opens path for appending, never waiting (a FIFO nobody reads cannot
    // be opened); nullptr with the system's reason in `problem` if it
    // cannot be opened.
    virtual std::unique_ptr<OutputFile> OpenForAppend(const std::string& path, std::string& problem) = 0;
};

// Where machine-readable records of pages and keep-alive alarms go (one
// JSON object each). Called on the tick's thread: an implementation must
// not block it.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void PageRecorded(std::string_view json) = 0;
    // A page of one of several channels (the receivers of one IQ band):
    // a sink that sorts by channel (MQTT topics) overrides this.
    virtual void ChannelPageRecorded(std::string_view /*channel*/, std::string_view json) { PageRecorded(json); }
    virtual void AlarmRaised(std::string_view /*json*/) {}
    // Records dropped (a full queue) since the last call, for the report.
    virtual std::uint64_t TakeDropped() { return 0; }
};

// Told when an output file (log, filter, statistics) stops working and
// when it works again; the file is skipped in between while decoding and
// the other outputs go on. Called once per change, never per line: the
// command-line decoder prints a line, the desktop program a status line.
class FileStatusSink {
public:
    virtual ~FileStatusSink() = default;
    virtual void FileFailed(const std::string& path, const std::string& reason) = 0;
    virtual void FileWorksAgain(const std::string& path) = 0;
};

// The one-line texts of both changes, for every client to show alike.
inline std::string FileFailedText(const std::string& path, const std::string& reason) {
    return "cannot write " + path + ": " + reason + " (skipped until it works again)";
}
inline std::string FileWorksAgainText(const std::string& path) { return "writing " + path + " again"; }

// The set handed to an engine. The referenced objects outlive it.
struct OutsideWorld {
    WallClock& clock;
    TitleSink& title;
    SoundPlayer& sound;
    CommandLauncher& commands;
    MessageSink& messages;
    FileOpener& files;
    FileStatusSink& fileStatus;
};

}  // namespace tolvane
