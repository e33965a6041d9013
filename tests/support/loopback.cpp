#include "support/loopback.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "receiver/edge_ring.h"
#include "tools/gen/protocols.h"

namespace tolvane::testing {

Settings Untimed(int levels) {
    Settings settings;
    settings.Timestamp = 0;
    settings.FourLevelInterface = levels == 4 ? 1 : 0;
    return settings;
}

gen::SymbolStream Encode(const std::vector<std::string>& descriptions, const gen::EncodeOptions& options) {
    std::vector<gen::PageDescription> pages;
    std::string error;
    for (const std::string& d : descriptions) {
        gen::PageDescription page;
        EXPECT_TRUE(gen::ParsePageDescription(d, page, error)) << d << ": " << error;
        pages.push_back(page);
    }
    gen::SymbolStream stream;
    const gen::ProtocolEntry* protocol = pages.empty() ? nullptr : gen::FindProtocol(pages[0].protocol);
    EXPECT_NE(protocol, nullptr);
    if (protocol != nullptr) {
        EXPECT_TRUE(protocol->encode(pages, options, stream, error)) << error;
    }
    return stream;
}

std::vector<EdgeEntry> ToEdges(const gen::SymbolStream& body, const gen::ChannelOptions& channel, double silence) {
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, silence);
    stream.insert(stream.end(), body.begin(), body.end());
    gen::AppendSilence(stream, 0, silence);
    return gen::SymbolsToEdges(stream, channel);
}

MarkingRig::MarkingRig(const Settings& settings)
    : TestRig(settings), marks_([this](const std::string& line) { messageLines.push_back(line); }) {
    engine->output().MessagePane.view = &marks_;
}

std::unique_ptr<TestRig> Receive(const std::vector<EdgeEntry>& edges, const Settings& settings) {
    auto rig = std::make_unique<TestRig>(settings);
    rig->Feed(edges);
    return rig;
}

std::unique_ptr<MarkingRig> ReceiveMarked(const std::vector<EdgeEntry>& edges, const Settings& settings) {
    auto rig = std::make_unique<MarkingRig>(settings);
    rig->Feed(edges);
    return rig;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvane-test-XXXXXX").string();
    EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<EdgeEntry> Drain(const EdgeSource& source, EdgeRing& ring) {
    std::vector<EdgeEntry> entries;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    EdgeEntry e;
    while (!(source.Finished() && ring.Empty()) && std::chrono::steady_clock::now() < giveUp) {
        while (ring.Pop(e)) entries.push_back(e);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return entries;
}

bool WriteMonoWav(const std::string& path, const std::vector<float>& samples, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    const auto count = static_cast<sf_count_t>(samples.size());
    const bool whole = sf_writef_float(file, samples.data(), count) == count;
    return sf_close(file) == 0 && whole;
}

}  // namespace tolvane::testing
