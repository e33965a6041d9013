// The real outside world for Linux clients (the command-line decoder; the
// desktop program replaces the title, sound and message parts).
#pragma once

#include <cstdio>
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
};

class StdioFile : public OutputFile {
public:
    explicit StdioFile(std::FILE* file) : file_(file) {}
    ~StdioFile() override;
    bool Write(std::string_view text) override;
    bool Flush() override;

private:
    std::FILE* file_;
};

class StdioFileOpener : public FileOpener {
public:
    std::unique_ptr<OutputFile> OpenForAppend(const std::string& path) override;
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

// Messages and titles as lines on standard error.
class StderrMessages : public MessageSink, public TitleSink {
public:
    explicit StderrMessages(bool showTitles = false) : showTitles_(showTitles) {}
    void ShowMessage(std::string_view text) override;
    void SetTitle(std::string_view title) override;

private:
    bool showTitles_;
};

// Finds an executable on the PATH; empty if none.
std::string FindOnPath(const std::string& name);

}  // namespace tolvane
