// Audio in, pages out: generated discriminator audio of every protocol goes
// through the real sources (files, a pipe) and must decode to the same
// pages as its edge stream.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/input_runner.h"
#include "receiver/audio_source.h"
#include "receiver/edge_file.h"
#include "receiver/input_select.h"
#include "receiver/serial_source.h"
#include "support/fake_world.h"
#include "tools/gen/audio_writer.h"
#include "tools/gen/protocols.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

struct Air {
    std::string page;   // a tolvane-gen page description
    int levels = 2;
};

gen::SymbolStream Encode(const std::string& description) {
    gen::PageDescription page;
    std::string error;
    EXPECT_TRUE(gen::ParsePageDescription(description, page, error)) << error;
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, 0.2);
    EXPECT_TRUE(gen::FindProtocol(page.protocol)->encode({page}, gen::EncodeOptions(), stream, error)) << error;
    gen::AppendSilence(stream, 0, 0.2);
    return stream;
}

Settings SettingsFor(int levels) {
    Settings settings;
    settings.FourLevelInterface = levels == 4 ? 1 : 0;
    return settings;
}

std::vector<std::string> DecodeEdges(const gen::SymbolStream& stream, int levels) {
    gen::ChannelOptions channel;
    channel.levels = levels;
    testing::TestRig rig(SettingsFor(levels));
    rig.Feed(gen::SymbolsToEdges(stream, channel));
    return rig.messageLines;
}

std::vector<std::string> DecodeInput(const std::string& input, int levels, int rawRate = 0) {
    testing::TestRig rig(SettingsFor(levels));
    InputOptions options;
    options.rawRate = rawRate;
    std::string error;
    std::unique_ptr<EdgeSource> source = SelectInput(input, options, rig.engine->settings(), error);
    EXPECT_NE(source, nullptr) << error;
    if (source == nullptr) return {};
    EXPECT_TRUE(RunInput(*rig.engine, *source, RunOptions(), error)) << error;
    return rig.messageLines;
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/tolvane-audio-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::string WriteAudio(const TempDir& dir, const std::string& name, const std::vector<float>& samples, int rate) {
    const std::string path = dir / name;
    std::string error;
    EXPECT_TRUE(gen::WriteAudioFile(path, samples, rate, error)) << error;
    return path;
}

class EveryProtocol : public ::testing::TestWithParam<Air> {};

std::string AirName(const ::testing::TestParamInfo<Air>& info) {
    // Protocol, rate and capcode.
    const std::string& page = info.param.page;
    std::string name = page.substr(0, page.find(':', page.find(':', page.find(':') + 1) + 1));
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

// WAV at 22050 Hz and FLAC at 48000 Hz decode to exactly the edge stream's
// pages.
TEST_P(EveryProtocol, AudioFileDecodesLikeTheEdgeStream) {
    const Air air = GetParam();
    const gen::SymbolStream stream = Encode(air.page);
    const std::vector<std::string> expected = DecodeEdges(stream, air.levels);
    ASSERT_FALSE(expected.empty()) << "the edge stream itself does not decode";

    TempDir dir;
    for (const int rate : {22050, 48000}) {
        gen::AudioOptions audio;
        audio.sampleRate = rate;
        audio.levels = air.levels;
        const std::string path =
            WriteAudio(dir, rate == 22050 ? "air.wav" : "air.flac", gen::SymbolsToAudio(stream, audio), rate);
        EXPECT_EQ(DecodeInput(path, air.levels), expected) << rate << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(Air, EveryProtocol,
                         ::testing::Values(Air{"pocsag:512:1234567:3:alpha:Slow and steady"},
                                           Air{"pocsag:1200:234567:0:numeric:0123456789"},
                                           Air{"pocsag:2400:345678:2:alpha:Quick brown fox"},
                                           Air{"flex:1600/2:1234567:0:alpha:Flex at 1600"},
                                           Air{"flex:3200/2:1234567:0:alpha:Flex at 3200/2"},
                                           Air{"flex:3200/4:1234567:0:alpha:Flex at 3200/4", 4},
                                           Air{"flex:6400/4:1234567:0:alpha:Flex at 6400/4", 4},
                                           // Phase A: the high bit of every other symbol, which a
                                           // symbol-long average smeared at 3200 symbols/s.
                                           Air{"flex:6400/4:1100000:0:alpha:Phase A at 6400/4", 4},
                                           Air{"flex:3200/4:1100000:0:alpha:Phase A at 3200/4", 4},
                                           Air{"gsc:600:123456:0:alpha:GOLAY SEQUENTIAL"}),
                         AirName);

struct Margin {
    std::string page;
    int levels;
    double snrDb;  // the noisiest audio that must still decode
};

// The working margins of audio input through the whole receiver: noise
// down to the stated SNR (of the written audio, in the 4 kHz receiver
// band), a DC offset of 40 % of the deviation, and the transmitter clock
// 0.5 % fast or 0.3 % slow. (Beyond 0.3 % slow the POCSAG clock loop loses
// bits on clean edge streams as well.) POCSAG 2400 needs more signal: noise
// moves its edges enough to spoil the narrow run-length windows of the
// rate detection; 4-level symbols sit three times closer together, and
// their clock error margin is not stated here.
TEST(AudioInput, DecodingHoldsWithNoiseDcOffsetAndRateError) {
    const Margin margins[] = {{"pocsag:512:1234567:3:alpha:Margins at 512", 2, 8},
                              {"pocsag:1200:1234567:3:alpha:Margins at 1200", 2, 8},
                              {"pocsag:2400:1234567:3:alpha:Margins at 2400", 2, 14},
                              {"flex:1600/2:1234567:0:alpha:Margins at 1600", 2, 8},
                              {"flex:3200/2:1234567:0:alpha:Margins at 3200", 2, 8},
                              {"flex:3200/4:1234567:0:alpha:Margins at 3200/4", 4, 20},
                              {"gsc:600:123456:0:alpha:MARGINS", 2, 8}};
    struct Impairment {
        const char* what;
        double extraSnrDb;  // above the protocol's margin
        double dcOffset;
        double rateError;
    };
    const Impairment impairments[] = {{"noise", 0, 0, 0},
                                      {"dc offset", 6, 0.2, 0},
                                      {"clock fast", 10, 0, 0.005},
                                      {"clock slow", 10, 0, -0.003},
                                      {"all at once", 10, -0.2, 0.005}};
    TempDir dir;
    for (const Margin& m : margins) {
        const gen::SymbolStream stream = Encode(m.page);
        const std::vector<std::string> expected = DecodeEdges(stream, m.levels);
        ASSERT_FALSE(expected.empty()) << m.page;
        for (const Impairment& imp : impairments) {
            if (m.levels == 4 && imp.rateError != 0) continue;
            for (std::uint32_t seed = 1; seed <= 3; ++seed) {
                gen::AudioOptions audio;
                audio.levels = m.levels;
                audio.snrDb = m.snrDb + imp.extraSnrDb;
                audio.dcOffset = imp.dcOffset;
                audio.rateError = imp.rateError;
                audio.seed = seed;
                const std::string path = WriteAudio(dir, "air.wav", gen::SymbolsToAudio(stream, audio), 22050);
                EXPECT_EQ(DecodeInput(path, m.levels), expected) << m.page << ", " << imp.what << ", seed " << seed;
            }
        }
    }
}

// Raw samples through a pipe, as from `rtl_fm ... | tolvane-cli - --rate N`:
// written in odd-sized pieces with pauses, so reads see split samples.
TEST(AudioInput, RawSamplesThroughAPipe) {
    const gen::SymbolStream stream = Encode("pocsag:1200:1234567:3:alpha:Through a pipe");
    const std::vector<std::string> expected = DecodeEdges(stream, 2);
    const std::vector<std::int16_t> pcm = gen::ToS16(gen::SymbolsToAudio(stream, gen::AudioOptions()));
    std::vector<unsigned char> bytes;
    for (const std::int16_t s : pcm) {
        bytes.push_back(static_cast<unsigned char>(s & 0xFF));
        bytes.push_back(static_cast<unsigned char>((s >> 8) & 0xFF));
    }
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t n = std::min<std::size_t>(777, bytes.size() - at);
            const ssize_t done = ::write(ends[1], bytes.data() + at, n);
            if (done <= 0) break;
            at += static_cast<std::size_t>(done);
            if (at % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::close(ends[1]);
    });
    testing::TestRig rig;
    RawAudioSource source(ends[0], 22050, SlicerOptionsFor(rig.engine->settings()));
    std::string error;
    EXPECT_TRUE(RunInput(*rig.engine, source, RunOptions(), error)) << error;
    writer.join();
    ::close(ends[0]);
    EXPECT_EQ(rig.messageLines, expected);
}

// The edges of a recording add up to its length, so the engine's ticks
// follow the recording's own time.
TEST(AudioInput, RecordedDurationsAddUpToTheAudio) {
    TempDir dir;
    std::vector<float> samples(22050 * 3 + 17, 0.0f);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 40) % 2 ? 0.3f : -0.3f;
    const std::string path = WriteAudio(dir, "square.wav", samples, 22050);

    EdgeRing ring(1 << 12);  // small: the source must wait for room
    AudioFileSource source(path, SlicerOptions());
    ASSERT_TRUE(source.Attach(ring).Ok());
    std::uint64_t ticks = 0;
    std::size_t entries = 0;
    EdgeEntry e;
    while (!(source.Finished() && ring.Empty())) {
        while (ring.Pop(e)) {
            ticks += e.duration;
            ++entries;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    source.Detach();
    EXPECT_EQ(ticks, static_cast<std::uint64_t>(std::llround(static_cast<double>(samples.size()) / 22050 / kTickSeconds)));
    EXPECT_GT(entries, samples.size() / 40 - 10);
    EXPECT_EQ(ring.Overruns(), 0u);
}

// Each input name reaches the right source, and names that cannot work
// say why.
TEST(AudioInput, SelectInputByName) {
    TempDir dir;
    const std::string edges = dir / "rec.tve";
    {
        EdgeFileWriter writer;
        ASSERT_TRUE(writer.Open(edges));
        writer.AddRun(1000, kLineDCD);
        ASSERT_TRUE(writer.Close());
    }
    const std::string wav = WriteAudio(dir, "a.wav", std::vector<float>(100, 0.0f), 8000);
    const std::string raw = WriteAudio(dir, "a.s16", std::vector<float>(100, 0.0f), 8000);
    const std::string text = dir / "notes.txt";
    std::ofstream(text) << "neither edges nor audio\n";
    Settings settings;

    struct Named {
        std::string input;
        bool (*isRightKind)(EdgeSource*);
    };
    const Named named[] = {
        {edges, [](EdgeSource* s) { return dynamic_cast<EdgeFileSource*>(s) != nullptr; }},
        {wav, [](EdgeSource* s) { return dynamic_cast<AudioFileSource*>(s) != nullptr; }},
        {raw, [](EdgeSource* s) { return dynamic_cast<RawAudioSource*>(s) != nullptr; }},
        {"-", [](EdgeSource* s) { return dynamic_cast<RawAudioSource*>(s) != nullptr; }},
        {"audio:default", [](EdgeSource* s) { return dynamic_cast<LiveAudioSource*>(s) != nullptr; }},
        {"serial:/dev/ttyS0", [](EdgeSource* s) { return dynamic_cast<SerialSource*>(s) != nullptr; }},
    };
    for (const Named& n : named) {
        std::string error;
        std::unique_ptr<EdgeSource> source = SelectInput(n.input, InputOptions(), settings, error);
        ASSERT_NE(source, nullptr) << n.input << ": " << error;
        EXPECT_TRUE(n.isRightKind(source.get())) << n.input;
    }
    EXPECT_TRUE(IsLiveInput("audio:default"));
    EXPECT_TRUE(IsLiveInput("serial:/dev/ttyUSB0"));
    EXPECT_FALSE(IsLiveInput("-"));
    EXPECT_FALSE(IsLiveInput(wav));

    std::string error;
    EXPECT_EQ(SelectInput(dir / "absent.wav", InputOptions(), settings, error), nullptr);
    EXPECT_EQ(error.rfind(std::string(AttachErrorMessage(AttachError::CannotOpenRecording)), 0), 0u) << error;
    EXPECT_EQ(SelectInput("serial:", InputOptions(), settings, error), nullptr);
    EXPECT_EQ(SelectInput("", InputOptions(), settings, error), nullptr);

    // A file nobody can read as audio fails at attach with the format message.
    std::unique_ptr<EdgeSource> source = SelectInput(text, InputOptions(), settings, error);
    ASSERT_NE(source, nullptr);
    EdgeRing ring;
    const AttachStatus status = source->Attach(ring);
    EXPECT_EQ(status.error, AttachError::BadFormat) << status.Describe();

    // Raw audio needs a rate.
    InputOptions noRate;
    settings.Input.InputRate = 0;
    source = SelectInput(raw, noRate, settings, error);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->Attach(ring).error, AttachError::BadFormat);
}

// The command-line decoder reads raw audio from a pipe.
TEST(AudioInput, CommandLinePipe) {
    const std::string cli = TOLVANE_BINARY_DIR "/app/cli/tolvane-cli";
    if (!fs::exists(cli)) GTEST_SKIP() << "tolvane-cli is not built";
    TempDir dir;
    const gen::SymbolStream stream = Encode("pocsag:1200:1234567:3:alpha:Piped into the cli");
    gen::AudioOptions audio;
    audio.sampleRate = 16000;
    const std::string raw = WriteAudio(dir, "air.s16", gen::SymbolsToAudio(stream, audio), 16000);
    std::ofstream(dir / "none.ini") << "";
    const std::string command = "cat '" + raw + "' | '" + cli + "' --ini '" + (dir / "none.ini") + "' --rate 16000 -";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    EXPECT_EQ(::pclose(pipe), 0) << output;
    EXPECT_NE(output.find("Piped into the cli"), std::string::npos) << output;
}

}  // namespace
}  // namespace tolvane
