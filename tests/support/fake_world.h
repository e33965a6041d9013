// Fakes of the outside world and a ready-made engine for tests.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "display/line_joiner.h"
#include "engine/engine.h"
#include "world/outside_world.h"

namespace tolvane::testing {

class FakeClock : public WallClock {
public:
    std::time_t Now() const override { return now; }
    LocalTime Local() const override { return local; }
    std::string TimeOfDayText() const override { return timeText; }
    std::string DateText() const override { return dateText; }

    // Moves both the seconds count and the local time forward.
    void Advance(int seconds);
    void Set(const LocalTime& t);

    std::time_t now = 1'000'000'000;
    LocalTime local{2026, 12, 6, 12, 0, 0};
    std::string timeText = "12:00:00";
    std::string dateText = "12/06/26";
};

class FakeTitle : public TitleSink {
public:
    void SetTitle(std::string_view title) override { titles.emplace_back(title); }
    std::string Current() const { return titles.empty() ? std::string() : titles.back(); }
    std::vector<std::string> titles;
};

class FakeSound : public SoundPlayer {
public:
    bool PlayFile(const std::string& path) override {
        played.push_back(path);
        return playable;
    }
    void Beep() override { ++beeps; }
    std::vector<std::string> played;
    int beeps = 0;
    bool playable = true;
};

class FakeCommands : public CommandLauncher {
public:
    struct Call {
        std::string program;
        std::vector<std::string> args;
    };
    bool Start(const std::string& program, const std::vector<std::string>& args) override {
        calls.push_back({program, args});
        return startable;
    }
    std::vector<Call> calls;
    bool startable = true;
};

class FakeMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    std::vector<std::string> messages;
};

// Files in memory. A path listed in `unopenable` cannot be opened; writes to
// a path in `unwritable` fail.
class MemoryFiles : public FileOpener {
public:
    std::unique_ptr<OutputFile> OpenForAppend(const std::string& path) override;

    std::map<std::string, std::string> contents;   // everything written
    std::map<std::string, std::string> flushed;    // what a flush has made durable
    std::vector<std::string> unopenable;
    std::vector<std::string> unwritable;
    int opens = 0;
};

// One fake world, with an engine on it; completed message-pane lines and
// filter-pane lines are collected.
class TestRig {
public:
    explicit TestRig(const Settings& settings = Settings());

    // Pushes edges through the ring in 100 ms ticks of recorded time, then
    // lets the decoders time out.
    void Feed(const std::vector<EdgeEntry>& edges, bool finish = true);

    FakeClock clock;
    FakeTitle title;
    FakeSound sound;
    FakeCommands commands;
    FakeMessages messages;
    MemoryFiles files;
    std::unique_ptr<Engine> engine;
    std::vector<std::string> messageLines;
    std::vector<std::string> filterLines;

private:
    LineJoiner messageJoiner_;
    LineJoiner filterJoiner_;
};

// Writes one page the way every decoder does: SelectCapcodeFilter, the
// marked capcode field, a space, the marked message, PaneEndLine.
void WritePage(Output& output, FilterType type, std::string_view capcode, int function, int baud,
               std::string_view message);

}  // namespace tolvane::testing
