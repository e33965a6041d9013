#include "support/fake_world.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tolvane::testing {

namespace {

bool Listed(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

class MemoryFile : public OutputFile {
public:
    MemoryFile(MemoryFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    ~MemoryFile() override { owner_.flushed[path_] = owner_.contents[path_]; }
    bool Write(std::string_view text) override {
        problem_ = Listed(owner_.unwritable, path_) ? "No space left on device" : "";
        if (problem_.empty()) owner_.contents[path_].append(text);
        return problem_.empty();
    }
    bool Flush() override {
        owner_.flushed[path_] = owner_.contents[path_];
        return true;
    }
    std::string Problem() const override { return problem_; }

private:
    MemoryFiles& owner_;
    std::string path_;
    std::string problem_;
};

}  // namespace

std::string FakeClock::TimeOfDayText() const {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.hour, local.minute, local.second);
    return text;
}

std::string FakeClock::DateText() const {
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", local.month, local.day, local.year);
    return text;
}

void FakeClock::Advance(int seconds) {
    now += seconds;
    int total = local.hour * 3600 + local.minute * 60 + local.second + seconds;
    while (total >= 86400) {
        total -= 86400;
        ++local.day;  // tests stay within one month
    }
    local.hour = total / 3600;
    local.minute = total / 60 % 60;
    local.second = total % 60;
}

std::unique_ptr<OutputFile> MemoryFiles::OpenForAppend(const std::string& path, std::string& problem) {
    if (Listed(unopenable, path)) {
        problem = "No such file or directory";
        return nullptr;
    }
    contents[path];
    return std::make_unique<MemoryFile>(*this, path);
}

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

std::string ReadFile(const std::string& path) {
    return (std::stringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
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
