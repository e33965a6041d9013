// Fakes of the outside world: a clock, the title, sounds, commands,
// messages, files in memory and the file troubles told. They use nothing
// above world/, so a test of a lower layer can have them.
#pragma once

#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// The records handed over: pages and alarms as their JSON texts; `dropped`
// is told (and cleared) when asked.
class FakeRecords : public RecordSink {
public:
    void PageRecorded(std::string_view json) override { pages.emplace_back(json); }
    void AlarmRaised(std::string_view json) override { alarms.emplace_back(json); }
    std::uint64_t TakeDropped() override { return std::exchange(dropped, 0); }
    std::vector<std::string> pages;
    std::vector<std::string> alarms;
    std::uint64_t dropped = 0;
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

// A file's bytes as they are; "" when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace tolvane::testing
