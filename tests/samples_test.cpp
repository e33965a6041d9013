// The shared sample signals (discriminator audio at 22050 Hz) decode with
// the default settings through the same input selection as the programs.
// Their polarity: a POCSAG 1 bit is a negative sample, except in the file
// named inverted.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/input_runner.h"
#include "receiver/input_select.h"
#include "support/fake_world.h"

namespace tolvane {
namespace {

const std::string kSamples = TOLVANE_SOURCE_DIR "/../shared/samples";

struct Sample {
    const char* file;
    int invertData;
    int autoPolarity;
    std::vector<std::string> lines;  // the rig's clock shows 12:00:00
};

std::string SampleName(const ::testing::TestParamInfo<Sample>& info) {
    std::string name = info.param.file;
    name = name.substr(0, name.find('.'));
    for (char& c : name) {
        if (c == '-') c = '_';
    }
    return name + (info.param.invertData ? "_inverted" : "") + (info.param.autoPolarity ? "" : "_fixed_polarity");
}

class Samples : public ::testing::TestWithParam<Sample> {};

TEST_P(Samples, DecodeWithDefaultSettings) {
    const Sample sample = GetParam();
    const std::string path = kSamples + "/" + sample.file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample signals not found beside the checkout: " << path;

    Settings settings;
    settings.InvertData = sample.invertData;
    settings.AutoPolarity = sample.autoPolarity;
    testing::TestRig rig(settings);
    std::string error;
    std::unique_ptr<EdgeSource> source = SelectInput(path, InputOptions(), rig.engine->settings(), error);
    ASSERT_NE(source, nullptr) << error;
    ASSERT_TRUE(RunInput(*rig.engine, *source, RunOptions(), error)) << error;
    EXPECT_EQ(rig.messageLines, sample.lines);
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
    SampleName);

}  // namespace
}  // namespace tolvane
