#include "support/fake_world.h"

namespace tolvane::testing {

TestRig::TestRig(const Settings& settings, const std::function<void(TestRig&)>& prepare)
    : messageJoiner_([this](const std::string& line) { messageLines.push_back(line); }),
      filterJoiner_([this](const std::string& line) { filterLines.push_back(line); }) {
    if (prepare) prepare(*this);
    engine = std::make_unique<Engine>(settings, OutsideWorld{clock, title, sound, commands, messages, files, fileStatus});
    engine->output().MessagePane.view = &messageJoiner_;
    engine->output().FilterPane.view = &filterJoiner_;
}

void TestRig::Feed(const std::vector<EdgeEntry>& edges, bool finish) {
    double owed = 0;
    std::size_t next = 0;
    while (next < edges.size()) {
        engine->TimerHooks();
        owed += kEdgeTicksPerTimerTick;
        while (next < edges.size() && owed > 0 && engine->Ring().TryPush(edges[next])) {
            owed -= edges[next].duration;
            ++next;
        }
        engine->DrainEdgeRing();
    }
    if (finish) engine->FinishInput();
}

void TestRig::Run(int seconds) {
    for (int s = 0; s < seconds; ++s) {
        clock.Advance(1);
        for (int t = 0; t < 10; ++t) engine->TimerHooks();
        engine->ShowPendingMessages();
    }
}

void WritePage(Output& output, FilterType type, std::string_view capcode, int function, int baud,
               std::string_view message, ColorClass messageColor, const PageFacts* facts) {
    output.SelectCapcodeFilter(type, capcode, static_cast<int>(capcode.size()), function, baud);
    if (facts != nullptr) output.DescribePage(*facts);
    output.PutCapcodeField(capcode);
    output.MarkMessageStart();
    output.PaneSetColor(output.MessagePane, messageColor);
    for (const char ch : message) output.PanePutChar(output.MessagePane, ch);
    output.PaneEndLine(output.MessagePane);
}

}  // namespace tolvane::testing
