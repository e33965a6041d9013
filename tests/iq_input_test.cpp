// IQ recordings as files: the sample formats, the names of frequencies and
// channels, and what damaged or unusable files give (one line naming the
// file, and every page before the damage).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "receiver/iq/iq_format.h"
#include "receiver/iq/iq_select.h"
#include "support/iq_loopback.h"
#include "support/loopback.h"
#include "tools/gen/iq_writer.h"

namespace tolvane {
namespace {

constexpr double kCentre = 466.0e6;
constexpr double kChannel = 466.075e6;
constexpr const char kPage[] = "pocsag:1200:1234567:3:alpha:Recorded with a dongle";

TEST(IqFormats, RoundTripWithinOneStep) {
    struct Row {
        IqFormat format;
        float step;  // the format's quantisation
    };
    for (const Row& row : {Row{IqFormat::CU8, 1 / 127.5f}, Row{IqFormat::CS8, 1 / 128.0f},
                           Row{IqFormat::CS16, 1 / 32768.0f}, Row{IqFormat::CF32, 0.0f}}) {
        for (const std::complex<float> value : {std::complex<float>(-1, 0.99f), {-0.5f, 0.25f}, {0.01f, -0.01f},
                                                {0, 0}, {0.7f, -0.3f}}) {
            unsigned char bytes[8] = {};
            EncodeIq(row.format, value, bytes);
            std::complex<float> back;
            ConvertIq(row.format, bytes, 1, &back);
            EXPECT_NEAR(back.real(), value.real(), row.step * 0.51f + 1e-7f) << IqFormatName(row.format);
            EXPECT_NEAR(back.imag(), value.imag(), row.step * 0.51f + 1e-7f) << IqFormatName(row.format);
        }
    }
}

TEST(IqFormats, BytesAsTheRecordingProgramsWriteThem) {
    struct Row {
        IqFormat format;
        std::vector<unsigned char> bytes;
        std::complex<float> sample;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    unsigned char nanBytes[8] = {};
    EncodeIq(IqFormat::CF32, {nan, 0.5f}, nanBytes);
    const std::vector<Row> rows = {
        {IqFormat::CU8, {0, 255}, {-1, 1}},
        {IqFormat::CU8, {128, 127}, {0.5f / 127.5f, -0.5f / 127.5f}},
        {IqFormat::CS8, {0x80, 0x7F}, {-1, 127 / 128.0f}},
        {IqFormat::CS16, {0x00, 0x80, 0xFF, 0x7F}, {-1, 32767 / 32768.0f}},   // little-endian
        {IqFormat::CS16, {0x01, 0x00, 0xFF, 0xFF}, {1 / 32768.0f, -1 / 32768.0f}},
        {IqFormat::CF32, {0, 0, 0x80, 0x3F, 0, 0, 0, 0xBF}, {1, -0.5f}},
        {IqFormat::CF32, std::vector<unsigned char>(nanBytes, nanBytes + 8), {0, 0.5f}},  // damage, not signal
    };
    for (const Row& row : rows) {
        std::complex<float> sample;
        ConvertIq(row.format, row.bytes.data(), 1, &sample);
        EXPECT_FLOAT_EQ(sample.real(), row.sample.real()) << IqFormatName(row.format);
        EXPECT_FLOAT_EQ(sample.imag(), row.sample.imag()) << IqFormatName(row.format);
    }
}

TEST(IqNames, FrequenciesAndChannels) {
    struct Row {
        const char* text;
        bool ok;
        double hz;
        const char* name;
        int levels;
    };
    const Row rows[] = {
        {"929.6125M", true, 929.6125e6, "", 2},
        {"466075k:Hospital", true, 466.075e6, "Hospital", 2},
        {"929612500:NYC1:4", true, 929612500, "NYC1", 4},
        {"153.35m::2", true, 153.35e6, "", 2},
        {"929.6M:A:3", false, 0, "", 0},
        {"929.6X", false, 0, "", 0},
        {"M", false, 0, "", 0},
        {"-5M", false, 0, "", 0},
        {"0", false, 0, "", 0},
        {"", false, 0, "", 0},
        {"nan", false, 0, "", 0},
    };
    for (const Row& row : rows) {
        IqChannelPlan plan;
        std::string error;
        EXPECT_EQ(ParseChannelPlan(row.text, plan, error), row.ok) << row.text;
        if (!row.ok) {
            EXPECT_NE(error.find(row.text), std::string::npos) << error;
            continue;
        }
        EXPECT_DOUBLE_EQ(plan.frequencyHz, row.hz) << row.text;
        EXPECT_EQ(plan.name, row.name) << row.text;
        EXPECT_EQ(plan.levels, row.levels) << row.text;
    }
}

// One page at kChannel in `format`; the edge path's lines.
std::vector<std::string> Record(const std::string& path, IqFormat format) {
    gen::PageDescription page;
    std::string error;
    EXPECT_TRUE(gen::ParsePageDescription(kPage, page, error));
    gen::IqCarrier carrier;
    EXPECT_TRUE(gen::BuildCarrier({page}, gen::EncodeOptions(), 0.3, carrier, error)) << error;
    carrier.frequencyHz = kChannel;
    gen::IqOptions options;
    options.sampleRate = 1024000;
    options.centreHz = kCentre;
    options.format = format;
    options.cnrDb = 30;
    EXPECT_TRUE(gen::WriteIqFile(path, {carrier}, options, error)) << error;
    return testing::Receive(gen::SymbolsToEdges(carrier.stream, gen::ChannelOptions()))->messageLines;
}

IqInputOptions Options(double rate = 1024000, double centre = kCentre) {
    IqInputOptions options;
    options.sampleRate = rate;
    options.centreHz = centre;
    options.channels.push_back({kChannel, "", 2});
    return options;
}

// A WAV IQ recording names its own sample rate and centre frequency.
TEST(IqFiles, WavBringsItsRateAndCentre) {
    testing::TempDir dir;
    const std::string path = dir / "sdr.wav";
    const std::vector<std::string> expected = Record(path, IqFormat::Wav);
    const testing::IqDecoded decoded = testing::DecodeIq(path, Options(0, 0));
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.lines, expected);
}

// Damaged and unusable inputs: one line that names the input and the
// reason; a recording cut inside a sample still gives its pages first.
TEST(IqFiles, DamagedAndUnusableInputs) {
    testing::TempDir dir;
    const std::string good = dir / "good.cs16";
    const std::vector<std::string> expected = Record(good, IqFormat::CS16);
    const std::string cut = dir / "cut.cs16";
    std::filesystem::copy_file(good, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 1);
    const std::string empty = dir / "empty.cu8";
    std::ofstream(empty).close();
    const std::string text = dir / "notes.wav";
    std::ofstream(text) << "not a recording\n";
    const std::string mono = dir / "mono.wav";
    {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(mono.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        const short silence[64] = {};
        sf_write_short(file, silence, 64);
        sf_close(file);
    }
    const std::string unnamed = dir / "capture.bin";
    std::filesystem::copy_file(good, unnamed);

    struct Row {
        std::string input;
        IqInputOptions options;
        std::string reason;            // in the one-line error
        bool pages;                    // the pages before the damage are decoded
    };
    IqInputOptions outside = Options();
    outside.channels.front().frequencyHz = kCentre + 600000;
    IqInputOptions none = Options();
    none.channels.clear();
    const std::vector<Row> rows = {
        {cut, Options(), "truncated: ends 3 bytes into a 4-byte cs16 sample", true},
        {empty, Options(), "empty IQ recording", false},
        {dir / "missing.cu8", Options(), "No such file or directory", false},
        {dir.operator/(""), [] { auto o = Options(); o.format = IqFormat::CU8; return o; }(), "is a directory", false},
        {text, Options(), "", false},  // libsndfile's reason
        {mono, Options(), "needs two channels (I and Q), this one has 1", false},
        {good, Options(0), "needs its sample rate", false},
        {good, Options(20000), "between 48000 Hz and 100 MHz, not 20000", false},
        {good, outside, "lies outside the IQ band", false},
        {good, none, "needs a channel", false},
        {unnamed, Options(), "cannot tell the IQ sample format", false},
    };
    for (const Row& row : rows) {
        const testing::IqDecoded decoded = testing::DecodeIq(row.input, row.options);
        EXPECT_NE(decoded.error.find(row.reason), std::string::npos) << row.input << ": " << decoded.error;
        EXPECT_EQ(decoded.error.find('\n'), std::string::npos) << decoded.error;
        EXPECT_NE(decoded.error.find(row.input), std::string::npos) << decoded.error;
        EXPECT_EQ(decoded.lines, row.pages ? expected : std::vector<std::string>()) << row.input;
    }
    // The undamaged file, for contrast.
    const testing::IqDecoded whole = testing::DecodeIq(good, Options());
    EXPECT_EQ(whole.error, "");
    EXPECT_EQ(whole.lines, expected);
}

}  // namespace
}  // namespace tolvane
