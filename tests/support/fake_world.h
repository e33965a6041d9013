// Fakes of the outside world and a ready-made engine for tests.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "display/line_joiner.h"
#include "engine/engine.h"
#include "world/outside_world.h"

namespace tolvane::testing {

// The texts follow the local time.
class FakeClock : public WallClock {
public:
    std::time_t Now() const override { return now; }
    LocalTime Local() const override { return local; }
    std::string TimeOfDayText() const override;
    std::string DateText() const override;

    // Moves both the seconds count and the local time forward.
    void Advance(int seconds);

    std::time_t now = 1'000'000'000;
    LocalTime local{2026, 12, 6, 12, 0, 0};
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
        bool operator==(const Call&) const = default;
    };
    bool Start(const std::string& program, const std::vector<std::string>& args) override {
        calls.push_back({program, args});
        return true;
    }
    std::vector<Call> calls;
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
    std::unique_ptr<OutputFile> OpenForAppend(const std::string& path, std::string& problem) override;

    std::map<std::string, std::string> contents;   // everything written
    std::map<std::string, std::string> flushed;    // what a flush has made durable
    std::vector<std::string> unopenable;
    std::vector<std::string> unwritable;
};

// File troubles as told, in order: "failed PATH: REASON" and "works PATH".
class FakeFileStatus : public FileStatusSink {
public:
    void FileFailed(const std::string& path, const std::string& reason) override {
        events.push_back("failed " + path + ": " + reason);
    }
    void FileWorksAgain(const std::string& path) override { events.push_back("works " + path); }
    std::vector<std::string> events;
};

// One fake world, with an engine on it; completed message-pane lines and
// filter-pane lines are collected. `prepare` sets up the world (the clock,
// the files) before the engine is made.
class TestRig {
public:
    explicit TestRig(const Settings& settings = Settings(), const std::function<void(TestRig&)>& prepare = nullptr);

    // Pushes edges through the ring in 100 ms ticks of recorded time, then
    // lets the decoders time out.
    void Feed(const std::vector<EdgeEntry>& edges, bool finish = true);
    // Wall time passes in whole seconds, ten 100 ms timer ticks each; then
    // pending messages are shown, as the desktop program does.
    void Run(int seconds);

    FakeClock clock;
    FakeTitle title;
    FakeSound sound;
    FakeCommands commands;
    FakeMessages messages;
    MemoryFiles files;
    FakeFileStatus fileStatus;
    std::unique_ptr<Engine> engine;
    std::vector<std::string> messageLines;
    std::vector<std::string> filterLines;

private:
    LineJoiner messageJoiner_;
    LineJoiner filterJoiner_;
};

// A file's bytes as they are; "" when it cannot be read.
std::string ReadFile(const std::string& path);

// Writes one page the way every decoder does: SelectCapcodeFilter, the
// marked capcode field, a space, the marked message (every byte of it, in
// one colour), PaneEndLine; described for the page records when facts are
// given.
void WritePage(Output& output, FilterType type, std::string_view capcode, int function, int baud,
               std::string_view message, ColorClass messageColor = ColorClass::Alphanumeric,
               const PageFacts* facts = nullptr);

}  // namespace tolvane::testing
