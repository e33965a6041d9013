// A ready-made engine on the fake outside world, for tests.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/line_joiner.h"
#include "engine/engine.h"
#include "support/world_fakes.h"

namespace tolvane::testing {

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

// Writes one page the way every decoder does: SelectCapcodeFilter, the
// marked capcode field, a space, the marked message (every byte of it, in
// one colour), PaneEndLine; described for the page records when facts are
// given.
void WritePage(Output& output, FilterType type, std::string_view capcode, int function, int baud,
               std::string_view message, ColorClass messageColor = ColorClass::Alphanumeric,
               const PageFacts* facts = nullptr);

}  // namespace tolvane::testing
