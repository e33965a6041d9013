// Cross-check against an independent decoder: multimon-ng (run as a black
// box on raw 22050 Hz samples) must find the capcodes and messages in the
// audio tolvane-gen writes, and so must we.
//
// Polarity: multimon-ng reads this audio as it is (a POCSAG 1 bit negative,
// a FLEX 1 bit positive); its -i switch (inverted POCSAG) finds nothing in
// it, so the two conventions agree rather than by accident.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "engine/input_runner.h"
#include "receiver/input_select.h"
#include "support/fake_world.h"
#include "tools/gen/audio_writer.h"
#include "tools/gen/protocols.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

bool HaveMultimon() { return std::system("command -v multimon-ng >/dev/null 2>&1") == 0; }

std::string RunMultimon(const std::string& flags, const std::string& path) {
    const std::string command = "multimon-ng -q " + flags +
                                " -t raw -a POCSAG512 -a POCSAG1200 -a POCSAG2400 -a FLEX '" + path + "' 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    std::string output;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    ::pclose(pipe);
    return output;
}

std::string Trim(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
    for (const std::string nul : {"<NUL>"}) {
        while (text.size() >= nul.size() && text.compare(text.size() - nul.size(), nul.size(), nul) == 0) {
            text.resize(text.size() - nul.size());
        }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

struct Found {
    long capcode = -1;
    std::string message;
};

// The pages in multimon-ng's output:
//   POCSAG1200: Address: 1234567  Function: 3  Alpha:   text
//   FLEX|date time|mode|frame|capcode|ALN|text
std::vector<Found> ParseMultimon(const std::string& output) {
    std::vector<Found> found;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        Found f;
        if (line.rfind("POCSAG", 0) == 0) {
            const std::size_t address = line.find("Address:");
            if (address == std::string::npos) continue;
            f.capcode = std::strtol(line.c_str() + address + 8, nullptr, 10);
            for (const char* kind : {"Alpha:", "Numeric:"}) {
                const std::size_t at = line.find(kind);
                if (at == std::string::npos) continue;
                std::size_t start = at + std::string(kind).size();
                while (start < line.size() && line[start] == ' ') ++start;
                f.message = Trim(line.substr(start));
            }
        } else if (line.rfind("FLEX|", 0) == 0) {
            std::vector<std::string> fields;
            std::size_t start = 0;
            for (int i = 0; i < 6; ++i) {
                const std::size_t bar = line.find('|', start);
                if (bar == std::string::npos) break;
                fields.push_back(line.substr(start, bar - start));
                start = bar + 1;
            }
            if (fields.size() < 6) continue;
            f.capcode = std::strtol(fields[4].c_str(), nullptr, 10);
            f.message = Trim(line.substr(start));
        } else {
            continue;
        }
        found.push_back(f);
    }
    return found;
}

struct Page {
    std::string description;
    int levels;
};

TEST(MultimonCrossCheck, SameCapcodesAndMessages) {
    if (!HaveMultimon()) GTEST_SKIP() << "multimon-ng is not installed; the cross-check did not run";

    const Page pages[] = {{"pocsag:512:1234567:3:alpha:Hello at 512", 2},
                          {"pocsag:1200:234567:0:numeric:0123456789", 2},
                          {"pocsag:2400:345678:2:alpha:Hello at 2400", 2},
                          {"flex:1600/2:1234567:0:alpha:Flex 1600/2", 2},
                          {"flex:3200/2:1234567:0:alpha:Flex 3200/2", 2},
                          {"flex:3200/4:1234567:0:alpha:Flex 3200/4", 4},
                          {"flex:6400/4:1234567:0:alpha:Flex 6400/4", 4}};
    char pattern[] = "/tmp/tolvane-multimon-XXXXXX";
    const fs::path dir = ::mkdtemp(pattern);
    const std::string path = (dir / "air.s16").string();
    for (const Page& p : pages) {
        gen::PageDescription page;
        std::string error;
        ASSERT_TRUE(gen::ParsePageDescription(p.description, page, error)) << error;
        gen::SymbolStream stream;
        gen::AppendSilence(stream, 0, 0.2);
        ASSERT_TRUE(gen::FindProtocol(page.protocol)->encode({page}, gen::EncodeOptions(), stream, error)) << error;
        gen::AppendSilence(stream, 0, 0.2);
        gen::AudioOptions audio;  // 22050 Hz, as multimon-ng wants
        audio.levels = p.levels;
        ASSERT_TRUE(gen::WriteAudioFile(path, gen::SymbolsToAudio(stream, audio), 22050, error)) << error;

        const std::vector<Found> theirs = ParseMultimon(RunMultimon("", path));
        ASSERT_EQ(theirs.size(), 1u) << p.description;
        EXPECT_EQ(theirs[0].capcode, std::stol(page.capcode)) << p.description;
        EXPECT_EQ(theirs[0].message, page.text) << p.description;
        if (page.protocol == "pocsag") {
            EXPECT_TRUE(ParseMultimon(RunMultimon("-i", path)).empty()) << p.description;
        }

        Settings settings;
        settings.FourLevelInterface = p.levels == 4 ? 1 : 0;
        testing::TestRig rig(settings);
        std::unique_ptr<EdgeSource> source = SelectInput(path, InputOptions(), rig.engine->settings(), error);
        ASSERT_NE(source, nullptr) << error;
        ASSERT_TRUE(RunInput(*rig.engine, *source, RunOptions(), error)) << error;
        bool ours = false;
        char capcode[16];
        std::snprintf(capcode, sizeof capcode, "%07ld", theirs[0].capcode);
        for (const std::string& line : rig.messageLines) {
            if (line.find(capcode) != std::string::npos && line.find(theirs[0].message) != std::string::npos) ours = true;
        }
        EXPECT_TRUE(ours) << p.description << ": not among our lines";
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tolvane
