#include "support/world_fakes.h"

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

std::string ReadFile(const std::string& path) {
    return (std::stringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

}  // namespace tolvane::testing
