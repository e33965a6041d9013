// The real outside world for Linux clients (the command-line decoder; the
// desktop program replaces the title, sound and message parts).
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "world/outside_world.h"

namespace tolvane {

class SystemClock : public WallClock {
public:
    std::time_t Now() const override;
    LocalTime Local() const override;
    // strftime %X and %x under the user's LC_TIME.
    std::string TimeOfDayText() const override;
    std::string DateText() const override;
    std::int64_t NowMilliseconds() const override;
    int UtcOffsetMinutes() const override;
};

// An output file as a descriptor opened with O_APPEND: every Write is one
// write(2), so programs appending to the same file interleave whole lines
// only, and nothing waits in the program's memory for a flush. Writes never
// block (a full pipe fails the write) and never raise SIGPIPE. A file keeps
// whole lines: what a full disk took of a line is taken back, and a file
// found ending inside a line gets a line break before the next line.
class AppendFile : public OutputFile {
public:
    AppendFile(int fd, bool isPipe) : fd_(fd), isPipe_(isPipe) {}
    ~AppendFile() override;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    bool Write(std::string_view text) override;
    // Lines are with the system once written; this finishes a line that
    // was only partly written before.
    bool Flush() override;
    std::string Problem() const override { return problem_; }
    // The next line begins with a line break: the file does not end with one.
    void StartOnNewLine() { startLine_ = true; }

private:
    // Writes as much of text as the system takes: the rest of a line a
    // pipe could not take stays in rest_; a file takes all of it or none.
    bool WriteSome(std::string_view text);
    // One write(2), SIGPIPE held back; its result, errno kept.
    ssize_t WriteOnce(std::string_view text);

    int fd_;
    bool isPipe_;
    std::string rest_;  // the unwritten end of a partly written line
    bool startLine_ = false;
    std::string joined_;  // a line behind its line break
    std::string problem_;
};

// Takes the last `written` bytes (the part of a line that a full disk
// took) back off the regular file open at fd, whose position is their end,
// so that it keeps whole lines; nobody else can append to a full disk
// meanwhile. False when fd is no regular file or it cannot be done.
bool TakeBackPartialLine(int fd, std::size_t written);

class AppendFileOpener : public FileOpener {
public:
    std::unique_ptr<OutputFile> OpenForAppend(const std::string& path, std::string& problem) override;
};

// Starts programs with fork/exec (never a shell) and does not wait; the
// started program is re-parented so no zombie is left behind.
class SpawnCommandLauncher : public CommandLauncher {
public:
    bool Start(const std::string& program, const std::vector<std::string>& args) override;
};

// Plays a sound file with the first of paplay, pw-play, aplay found on the
// PATH, without waiting; falls back to the terminal bell.
class SystemSoundPlayer : public SoundPlayer {
public:
    explicit SystemSoundPlayer(CommandLauncher& launcher) : launcher_(launcher) {}
    bool PlayFile(const std::string& path) override;
    void Beep() override;

private:
    CommandLauncher& launcher_;
};

// Messages, titles and file troubles as lines on standard error.
class StderrMessages : public MessageSink, public TitleSink, public FileStatusSink {
public:
    explicit StderrMessages(bool showTitles = false, std::string prefix = {})
        : showTitles_(showTitles), prefix_(std::move(prefix)) {}
    void ShowMessage(std::string_view text) override;
    void SetTitle(std::string_view title) override;
    void FileFailed(const std::string& path, const std::string& reason) override;
    void FileWorksAgain(const std::string& path) override;

private:
    bool showTitles_;
    std::string prefix_;  // before file troubles, e.g. "tolvane-cli: "
};

// This machine's name; "tolvane" if it has none.
std::string HostName();

// Finds an executable on the PATH; empty if none.
std::string FindOnPath(const std::string& name);

}  // namespace tolvane
