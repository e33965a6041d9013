// Recorded and generated discriminator audio, decoded through the same input
// selection as the programs, against what multimon-ng (an independent
// decoder, run as a black box where installed) finds in the same files.
// Polarity of the shared samples: a POCSAG 1 bit is a negative sample, a
// FLEX 1 bit positive, except in the file named inverted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "engine/input_runner.h"
#include "receiver/input_select.h"
#include "support/loopback.h"
#include "tools/gen/audio_writer.h"
#include "tools/gen/protocols.h"

namespace tolvane {
namespace {

const std::string kSamples = TOLVANE_SOURCE_DIR "/../shared/samples";

std::vector<std::string> Decode(const std::string& path, Settings settings) {
    testing::TestRig rig(settings);
    std::string error;
    std::unique_ptr<EdgeSource> source = SelectInput(path, InputOptions(), rig.engine->settings(), error);
    EXPECT_NE(source, nullptr) << error;
    if (source != nullptr) {
        EXPECT_TRUE(RunInput(*rig.engine, *source, RunOptions(), error)) << error;
    }
    return rig.messageLines;
}

// Capcodes of the pages in lines of ours ("{0273040} ...", "[1400231]   ...")
// or of multimon-ng's ("POCSAG1200: Address: 1234567 ...",
// "FLEX|...|...|...|002029572 001420033 001420999|ALN|text": a group call
// lists the temporary address, then its pagers).
std::set<long> Capcodes(const std::vector<std::string>& lines) {
    static const std::regex kOurs(R"(^[{\[](\d+)[}\]])"), kPocsag(R"(Address:\s*(\d+))"),
        kFlex(R"(^FLEX\|[^|]*\|[^|]*\|[^|]*\|([\d ]+)\|)");
    std::set<long> found;
    for (const std::string& line : lines) {
        std::smatch m;
        if (std::regex_search(line, m, kOurs) || std::regex_search(line, m, kPocsag)) {
            found.insert(std::stol(m[1]));
        } else if (std::regex_search(line, m, kFlex)) {
            std::istringstream list(m[1]);
            for (long capcode; list >> capcode;) found.insert(capcode);
        }
    }
    return found;
}

std::vector<std::string> Multimon(const std::string& args) {
    std::vector<std::string> lines;
    std::FILE* pipe = ::popen(("multimon-ng -q -a POCSAG512 -a POCSAG1200 -a POCSAG2400 -a FLEX " + args + " 2>/dev/null").c_str(), "r");
    char buffer[1024];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) lines.emplace_back(buffer);
    if (pipe != nullptr) ::pclose(pipe);
    return lines;
}

struct Sample {
    const char* file;
    int invertData;
    int autoPolarity;
    std::vector<std::string> lines;  // the rig's clock shows 12:00:00
};

class Samples : public ::testing::TestWithParam<Sample> {};

TEST_P(Samples, DecodeWithDefaultSettings) {
    const Sample sample = GetParam();
    const std::string path = kSamples + "/" + sample.file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample signals not found beside the checkout: " << path;
    Settings settings;
    settings.InvertData = sample.invertData;
    settings.AutoPolarity = sample.autoPolarity;
    EXPECT_EQ(Decode(path, settings), sample.lines);
    // All of them are DC-coupled: a corner left to the slicer changes nothing.
    settings.Input.InputHighPass = InputChoice::kInputHighPassEstimated;
    EXPECT_EQ(Decode(path, settings), sample.lines) << "corner estimated";
}

INSTANTIATE_TEST_SUITE_P(
    Shared, Samples,
    ::testing::Values(
        Sample{"pocsag-clean.s16", 0, 1, {"{0111111} 12:00:00 4 1200 POCSAG_REF_CLEAN"}},
        // One bit error in every codeword, corrected.
        Sample{"pocsag-1bit.s16", 0, 1, {"{0222222} 12:00:00 4 1200 POCSAG_REF_1BIT"}},
        // The inverted recording: InvertData, or the sense found from the
        // sync word; it gives nothing with the usual sense forced.
        Sample{"pocsag-inv-clean.s16", 1, 1, {"{0444444} 12:00:00 4 1200 POCSAG_INV_CLEAN"}},
        Sample{"pocsag-inv-clean.s16", 0, 1, {"{0444444} 12:00:00 4 1200 POCSAG_INV_CLEAN"}},
        Sample{"pocsag-inv-clean.s16", 0, 0, {}},
        // Two errors in every codeword: a word corrected twice does not keep
        // the POCSAG lock (noise gives that result for a quarter of random
        // words), so the lock lapses inside the message and it is dropped.
        Sample{"pocsag-2bit.s16", 0, 1, {}},
        // The synthetic FLEX file's block information word (0x000800) and
        // vector word (0x0181D0) fail the 4-bit word checksum: the frame row
        // is shown, the phase's pages are dropped as they must be.
        Sample{"flex-clean.s16", 0, 1, {"                 Cycle: 0 Frame: 0"}},
        // Over-the-air recordings.
        Sample{"pocsag-512-real.flac", 0, 1, {"{0273040} 12:00:00 4 512 512 B SIDE ZZZZZZ"}},
        Sample{"pocsag-1200-real.flac", 0, 1, {"{0273040} 12:00:00 4 1200 +++TIME=0008300324+++TIME=0008300324"}},
        Sample{"pocsag-2400-real.flac", 0, 1, {"{1022869} 12:00:00 2 2400 +++TIME=0008300324+++TIME=0008300324"}}),
    [](const ::testing::TestParamInfo<Sample>& param) {
        const Sample& sample = param.param;
        std::string name = std::string(sample.file).substr(0, std::string(sample.file).find('.'));
        std::replace(name.begin(), name.end(), '-', '_');
        return name + (sample.invertData ? "_inverted" : "") + (sample.autoPolarity ? "" : "_fixed_polarity");
    });

// The real FLEX recording: every pager multimon-ng 1.2.0 shows in it, the
// pagers of its two group calls included. Where it shows 1400199 we show
// 1400231: that codeword arrived one bit (bit 5) from the codeword of
// 1400231 and five from that of 1400199, which no correction reaches; the
// next word (1400561, which multimon-ng leaves out) has the same one-bit
// error beside it.
TEST(Samples, RealFlexRecordingGivesEveryPager) {
    const std::string path = kSamples + "/flex-1600-real-p2000.flac";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample signals not found beside the checkout: " << path;
    std::set<long> multimon = {120901,  1120103, 1120107, 1123102, 1123201, 1180000, 1220499, 1220653, 1400136,
                               1400141, 1400169, 1400199, 1400221, 1400232, 1400285, 1400311, 1400321, 1400331,
                               1400441, 1400442, 1400461, 1400483, 1400511, 1400521, 1400531, 1400541, 1400551,
                               1400571, 1400599, 1400651, 1400691, 1400745, 1420033, 1420999, 1523020, 2029572, 2029583};
    // The temporary addresses (their pagers are shown instead), and the damaged word.
    for (const long capcode : {2029572L, 2029583L, 1400199L}) multimon.erase(capcode);
    multimon.insert(1400231);
    std::set<long> ours = Capcodes(Decode(path, Settings()));
    ours.erase(1400561);
    EXPECT_EQ(ours, multimon);
}

// Seven of its messages were sent in two fragments each, a frame apart:
// joined, every message shows once and whole (37 pages); read fragment by
// fragment they are 44.
TEST(Samples, RealFlexRecordingJoinsFragmentedMessages) {
    const std::string path = kSamples + "/flex-1600-real-p2000.flac";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample signals not found beside the checkout: " << path;
    const auto pages = [](const std::vector<std::string>& lines) {
        std::vector<std::string> found;
        for (const std::string& line : lines)
            if (line.find(" ALPHA ") != std::string::npos) found.push_back(line);
        return found;
    };
    const std::vector<std::string> joined = pages(Decode(path, Settings()));
    EXPECT_EQ(joined.size(), 37u);
    std::set<std::string> alarmed;
    for (const std::string& line : joined) {
        if (line.find("Proefalarm") == std::string::npos) continue;
        EXPECT_TRUE(line.ends_with("ALPHA  Test: Proefalarm Ochtend Brandweer Veiligheidsregio Rotterdam Rijnmond.")) << line;
        EXPECT_TRUE(alarmed.insert(line.substr(0, 9)).second) << "twice: " << line;
    }
    EXPECT_EQ(alarmed.size(), 25u);
    Settings apart;
    apart.JoinFragments = 0;
    EXPECT_EQ(pages(Decode(path, apart)).size(), 44u);
}

// Generated audio of every mode and a group call: multimon-ng finds the
// pagers and the text in it (so the generator's polarity is the usual one),
// and so do we.
TEST(Samples, GeneratedAudioAsMultimonReadsIt) {
    if (std::system("command -v multimon-ng >/dev/null 2>&1") != 0) GTEST_SKIP() << "multimon-ng is not installed; the cross-check did not run";
    const std::pair<const char*, int> pages[] = {{"pocsag:512:1234567:3:alpha:Hello at 512", 2},
                                                 {"pocsag:1200:234567:0:numeric:0123456789", 2},
                                                 {"pocsag:2400:345678:2:alpha:Hello at 2400", 2},
                                                 // Its last word and the next sync's first bits come within
                                                 // four bits of a sync word.
                                                 {"pocsag:512:678982:3:alpha:6)t3d9CzIi@x9pg=5 jVNMnCkWd+)4xiv.SaduSA)", 2},
                                                 {"flex:1600/2:1234567:0:alpha:Flex 1600/2", 2},
                                                 {"flex:1600/2:1420033+1420999:0:alpha:Group call", 2},
                                                 {"flex:3200/2:1234567:0:alpha:Flex 3200/2", 2},
                                                 {"flex:3200/4:1234567:0:alpha:Flex 3200/4", 4},
                                                 {"flex:6400/4:1234567:0:alpha:Flex 6400/4", 4}};
    const testing::TempDir dir;
    const std::string path = dir / "air.s16";
    for (const auto& [description, levels] : pages) {
        gen::PageDescription page;
        std::string error;
        ASSERT_TRUE(gen::ParsePageDescription(description, page, error)) << error;
        gen::AudioOptions audio;  // 22050 Hz, as multimon-ng wants
        audio.levels = levels;
        audio.leadSeconds = 0.2;
        ASSERT_TRUE(gen::WriteAudioFile(path, gen::SymbolsToAudio(testing::Encode({description}), audio), 22050, error));

        std::set<long> sent;
        std::istringstream capcodes(page.capcode);
        for (std::string capcode; std::getline(capcodes, capcode, '+');) sent.insert(std::stol(capcode));
        const std::vector<std::string> theirs = Multimon("-t raw '" + path + "'");
        std::set<long> theirCapcodes = Capcodes(theirs);
        if (sent.size() > 1) theirCapcodes.erase(2029568);  // the temporary address
        EXPECT_EQ(theirCapcodes, sent) << description;
        EXPECT_TRUE(std::any_of(theirs.begin(), theirs.end(), [&](const std::string& l) { return l.find(page.text) != std::string::npos; }))
            << description;

        Settings settings;
        settings.FourLevelInterface = levels == 4 ? 1 : 0;
        const std::vector<std::string> ours = Decode(path, settings);
        EXPECT_EQ(Capcodes(ours), sent) << description;
        for (const std::string& line : ours)  // pages, not frame rows
            EXPECT_TRUE(line[0] == ' ' || line.find(page.text) != std::string::npos) << line;
    }
}

}  // namespace
}  // namespace tolvane
