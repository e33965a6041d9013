#include "support/fake_world.h"

#include <algorithm>

namespace tolvane::testing {

namespace {

class MemoryFile : public OutputFile {
public:
    MemoryFile(MemoryFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    ~MemoryFile() override { owner_.flushed[path_] = owner_.contents[path_]; }
    bool Write(std::string_view text) override {
        if (std::find(owner_.unwritable.begin(), owner_.unwritable.end(), path_) != owner_.unwritable.end()) return false;
        owner_.contents[path_].append(text);
        return true;
    }
    bool Flush() override {
        owner_.flushed[path_] = owner_.contents[path_];
        return true;
    }

private:
    MemoryFiles& owner_;
    std::string path_;
};

}  // namespace

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

void FakeClock::Set(const LocalTime& t) { local = t; }

std::unique_ptr<OutputFile> MemoryFiles::OpenForAppend(const std::string& path) {
    ++opens;
    if (std::find(unopenable.begin(), unopenable.end(), path) != unopenable.end()) return nullptr;
    contents[path];
    return std::make_unique<MemoryFile>(*this, path);
}

TestRig::TestRig(const Settings& settings)
    : messageJoiner_([this](const std::string& line) { messageLines.push_back(line); }),
      filterJoiner_([this](const std::string& line) { filterLines.push_back(line); }) {
    engine = std::make_unique<Engine>(settings, OutsideWorld{clock, title, sound, commands, messages, files});
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

void WritePage(Output& output, FilterType type, std::string_view capcode, int function, int baud,
               std::string_view message) {
    output.SelectCapcodeFilter(type, capcode, static_cast<int>(capcode.size()), function, baud);
    output.PutCapcodeField(capcode);
    output.MarkMessageStart();
    output.PaneSetColor(output.MessagePane, ColorClass::Alphanumeric);
    output.PanePutText(output.MessagePane, message);
    output.PaneEndLine(output.MessagePane);
}

}  // namespace tolvane::testing
