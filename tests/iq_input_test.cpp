// IQ recordings as files: the sample formats, the names of frequencies and
// channels, and what damaged or unusable files give (one line naming the
// file, and every page before the damage).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "receiver/iq/iq_format.h"
#include "support/iq_loopback.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

constexpr double kCentre = 466.0e6;
constexpr double kChannel = 466.075e6;
constexpr const char kPage[] = "pocsag:1200:1234567:3:alpha:Recorded with a dongle";

TEST(IqFormats, RoundTripWithinOneStep) {
    // Each format with its quantisation step.
    for (const auto& [format, step] : {std::pair{IqFormat::CU8, 1 / 127.5f}, {IqFormat::CS8, 1 / 128.0f},
                                       {IqFormat::CS16, 1 / 32768.0f}, {IqFormat::CF32, 0.0f}}) {
        for (const std::complex<float> value : {std::complex<float>(-1, 0.99f), {-0.5f, 0.25f}, {0.01f, -0.01f},
                                                {0, 0}, {0.7f, -0.3f}}) {
            unsigned char bytes[8] = {};
            EncodeIq(format, value, bytes);
            std::complex<float> back;
            ConvertIq(format, bytes, 1, &back);
            EXPECT_NEAR(back.real(), value.real(), step * 0.51f + 1e-7f) << IqFormatName(format);
            EXPECT_NEAR(back.imag(), value.imag(), step * 0.51f + 1e-7f) << IqFormatName(format);
        }
    }
}

TEST(IqFormats, BytesAsTheRecordingProgramsWriteThem) {
    struct Row { IqFormat format; std::vector<unsigned char> bytes; std::complex<float> sample; };
    const std::vector<Row> rows = {
        {IqFormat::CU8, {0, 255}, {-1, 1}},
        {IqFormat::CU8, {128, 127}, {0.5f / 127.5f, -0.5f / 127.5f}},
        {IqFormat::CS8, {0x80, 0x7F}, {-1, 127 / 128.0f}},
        {IqFormat::CS16, {0x00, 0x80, 0xFF, 0x7F}, {-1, 32767 / 32768.0f}},   // little-endian
        {IqFormat::CS16, {0x01, 0x00, 0xFF, 0xFF}, {1 / 32768.0f, -1 / 32768.0f}},
        {IqFormat::CF32, {0, 0, 0x80, 0x3F, 0, 0, 0, 0xBF}, {1, -0.5f}},
        {IqFormat::CF32, {0, 0, 0xC0, 0x7F, 0, 0, 0, 0x3F}, {0, 0.5f}},  // NaN: damage, not signal
    };
    for (const Row& row : rows) {
        std::complex<float> sample;
        ConvertIq(row.format, row.bytes.data(), 1, &sample);
        EXPECT_FLOAT_EQ(sample.real(), row.sample.real()) << IqFormatName(row.format);
        EXPECT_FLOAT_EQ(sample.imag(), row.sample.imag()) << IqFormatName(row.format);
    }
}

TEST(IqNames, FrequenciesAndChannels) {
    struct Row { const char* text; double hz; const char* name; int levels; };  // hz 0: refused
    const Row rows[] = {
        {"929.6125M", 929.6125e6, "", 2}, {"466075k:Hospital", 466.075e6, "Hospital", 2},
        {"929612500:NYC1:4", 929612500, "NYC1", 4}, {"153.35m::2", 153.35e6, "", 2},
        {"929.6M:A:3", 0, "", 0}, {"929.6X", 0, "", 0}, {"M", 0, "", 0}, {"-5M", 0, "", 0},
        {"0", 0, "", 0}, {"", 0, "", 0}, {"nan", 0, "", 0},
    };
    for (const Row& row : rows) {
        ChannelRecord plan;
        std::string error;
        EXPECT_EQ(ParseChannelPlan(row.text, plan, error), row.hz > 0) << row.text;
        if (row.hz == 0) {
            EXPECT_NE(error.find(row.text), std::string::npos) << error;
            continue;
        }
        EXPECT_DOUBLE_EQ(plan.FrequencyHz, row.hz) << row.text;
        EXPECT_EQ(plan.Name, row.name) << row.text;
        EXPECT_EQ(plan.Levels, row.levels) << row.text;
    }
}

// One page at kChannel in `format`; the edge path's lines.
std::vector<std::string> Record(const std::string& path, IqFormat format) {
    const gen::IqCarrier carrier = testing::Carrier({kPage}, kChannel);
    gen::IqOptions options;
    options.sampleRate = 1024000;
    options.centreHz = kCentre;
    options.format = format;
    options.cnrDb = 30;
    std::string error;
    EXPECT_TRUE(gen::WriteIqFile(path, {carrier}, options, error)) << error;
    return testing::CleanLines(carrier);
}

IqBand Options(double rate = 1024000, double centre = kCentre, double channel = kChannel) {
    IqBand band;
    band.SampleRate = rate;
    band.CenterHz = centre;
    if (channel > 0) band.Channels.push_back({channel, "", 2});
    return band;
}

// Whole recordings decode (a WAV one names its own rate and centre);
// damaged and unusable inputs give one line that names the input and the
// reason, and a recording cut inside a sample still gives its pages first.
TEST(IqFiles, WholeDamagedAndUnusableInputs) {
    testing::TempDir dir;
    const std::string good = dir / "good.cs16", wav = dir / "sdr.wav";
    const std::vector<std::string> expected = Record(good, IqFormat::CS16);
    ASSERT_FALSE(expected.empty());
    Record(wav, IqFormat::Wav);  // the same page: the same lines
    const std::string cut = dir / "cut.cs16", empty = dir / "empty.cu8", text = dir / "notes.wav";
    std::filesystem::copy_file(good, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 1);
    std::ofstream(empty).close();
    std::ofstream(text) << "not a recording\n";
    const std::string mono = dir / "mono.wav", unnamed = dir / "capture.bin";
    ASSERT_TRUE(testing::WriteMonoWav(mono, std::vector<float>(64), 48000));
    std::filesystem::copy_file(good, unnamed);
    IqBand cu8 = Options();
    cu8.Format = "cu8";
    struct Row {
        std::string input;
        IqBand options;
        const char* reason;  // in the one-line error; nullptr: no error
        bool pages;          // the pages (before any damage) are decoded
    };
    const std::vector<Row> rows = {
        {good, Options(), nullptr, true},
        {wav, Options(0, 0), nullptr, true},
        {cut, Options(), "truncated: ends 3 bytes into a 4-byte cs16 sample", true},
        {empty, Options(), "empty IQ recording", false},
        {dir / "missing.cu8", Options(), "No such file or directory", false},
        {dir / "", cu8, "is a directory", false},
        {text, Options(), "", false},  // libsndfile's reason
        {mono, Options(), "needs two channels (I and Q), this one has 1", false},
        {good, Options(0), "needs its sample rate", false},
        {good, Options(20000), "between 48000 Hz and 100 MHz, not 20000", false},
        {good, Options(1024000, kCentre, kCentre + 600000), "does not fit the IQ input!", false},
        {good, Options(1024000, kCentre, 0), "needs a channel", false},
        {unnamed, Options(), "cannot tell the IQ sample format", false},
    };
    for (const Row& row : rows) {
        const testing::IqDecoded decoded = testing::DecodeIq(row.input, row.options);
        if (row.reason == nullptr) {
            EXPECT_EQ(decoded.error, "") << row.input;
        } else {
            EXPECT_NE(decoded.error.find(row.reason), std::string::npos) << row.input << ": " << decoded.error;
            EXPECT_EQ(decoded.error.find('\n'), std::string::npos) << decoded.error;
            EXPECT_NE(decoded.error.find(row.input), std::string::npos) << decoded.error;
        }
        EXPECT_EQ(decoded.lines, row.pages ? expected : std::vector<std::string>()) << row.input;
    }
}

}  // namespace
}  // namespace tolvane
