// Audio in, pages out: generated discriminator audio of every mode goes
// through the real sources (files, a pipe) and must decode to exactly the
// pages of its edge stream.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <limits>
#include <thread>

#include "engine/input_runner.h"
#include "receiver/audio_source.h"
#include "receiver/edge_file.h"
#include "receiver/input_select.h"
#include "receiver/serial_source.h"
#include "support/loopback.h"
#include "tools/gen/audio_writer.h"
#include "tools/gen/protocols.h"

namespace tolvane {
namespace {

Settings SettingsFor(int levels) {
    Settings settings;
    settings.FourLevelInterface = levels == 4 ? 1 : 0;
    return settings;
}

// Each page a transmission of its own after `gap` seconds of silence.
gen::SymbolStream Encode(const std::vector<std::string>& descriptions, double gap = 0.3) {
    gen::SymbolStream stream;
    for (const std::string& description : descriptions) {
        gen::AppendSilence(stream, 0, gap);
        const gen::SymbolStream page = testing::Encode({description});
        stream.insert(stream.end(), page.begin(), page.end());
    }
    gen::AppendSilence(stream, 0, 0.5);
    return stream;
}

std::vector<std::string> DecodeEdges(const gen::SymbolStream& stream, int levels) {
    gen::ChannelOptions channel;
    channel.levels = levels;
    return testing::Receive(gen::SymbolsToEdges(stream, channel), SettingsFor(levels))->messageLines;
}

// A busy transmission: 24 long pages of the mode of `page`, in every phase,
// after `gap` seconds of silence.
gen::SymbolStream Busy(const std::string& page, double gap = 0) {
    const std::size_t kindAt = page.find(':', page.find(':', page.find(':') + 1) + 1);
    const std::size_t capcodeAt = page.rfind(':', kindAt - 1) + 1;
    const long capcode = std::stol(page.substr(capcodeAt));
    std::vector<std::string> pages;
    for (int k = 0; k < 24; ++k)
        pages.push_back(page.substr(0, capcodeAt) + std::to_string(capcode + 4 * k) + page.substr(kindAt) +
                        " on a busy network, page " + std::to_string(k));
    gen::SymbolStream stream;
    if (gap > 0) gen::AppendSilence(stream, 0, gap);
    const gen::SymbolStream transmission = testing::Encode(pages);
    stream.insert(stream.end(), transmission.begin(), transmission.end());
    gen::AppendSilence(stream, 0, 0.5);
    return stream;
}

std::unique_ptr<testing::TestRig> DecodeFile(const std::string& path, const Settings& settings) {
    auto rig = std::make_unique<testing::TestRig>(settings);
    std::string error;
    std::unique_ptr<EdgeSource> source = SelectInput(path, InputOptions(), rig->engine->settings(), error);
    EXPECT_NE(source, nullptr) << error;
    if (source != nullptr) {
        EXPECT_TRUE(RunInput(*rig->engine, *source, RunOptions(), error)) << error;
    }
    return rig;
}

std::string WriteAudio(const std::string& path, const std::vector<float>& samples, int rate) {
    std::string error;
    EXPECT_TRUE(gen::WriteAudioFile(path, samples, rate, error)) << error;
    return path;
}

// Every mode through the receivers people have: a low-pass from the symbol
// rate to four times it, or none (square edges), pauses of up to 10 s before
// the transmission, the transmitter's clock a per cent off; WAV at 11025 to
// 24000 Hz, FLAC at 48000 Hz. Then noise down to the mode's margin (SNR in the
// 4 kHz band), with a DC offset and a clock error on top.
TEST(AudioInput, EveryModeThroughEveryReceiver) {
    struct Mode {
        const char* page;
        int levels;
        double symbolRate;
        double snrDb;  // the noisiest audio that must still decode
    };
    // POCSAG 2400 at 6 dB: the rate is found although noise moves a fifth
    // of the preamble's edges out of the one-bit window. 4-level symbols
    // sit three times closer together.
    const Mode modes[] = {{"pocsag:512:1234567:3:alpha:Receivers at 512", 2, 512, 8},
                          {"pocsag:1200:1234567:3:alpha:Receivers at 1200", 2, 1200, 8},
                          {"pocsag:2400:1234567:3:alpha:Receivers at 2400", 2, 2400, 6},
                          {"flex:1600/2:1234567:0:alpha:Receivers at 1600/2", 2, 1600, 8},
                          {"flex:3200/2:1234567:0:alpha:Receivers at 3200/2", 2, 3200, 8},
                          // Phase A: the high bit of every other symbol.
                          {"flex:3200/4:1100000:0:alpha:Receivers at 3200/4", 4, 1600, 11},
                          {"flex:6400/4:1100000:0:alpha:Receivers at 6400/4", 4, 3200, 22},
                          {"gsc:600:123456:0:alpha:RECEIVERS AT 600", 2, 600, 8}};
    const double kClean = std::numeric_limits<double>::infinity();
    struct Receiver {
        double bandwidth;  // times the symbol rate; 0: none, -1: the usual 4 kHz
        double gapSeconds;
        double rateError;
        double snrAboveMargin;
        double dcOffset;
        double sampleRate;  // 48000: FLAC, else WAV
        // Joins a busy 4-level network: the recording starts this many
        // seconds into a long transmission, on whatever level is sent then.
        double joinSeconds = 0;
        // An AC-coupled sound-card input: a first-order high-pass, and the
        // corner the settings give for it (0: taken as DC-coupled, -1: estimated).
        double highpassHz = 0;
        std::int32_t cornerSetting = 0;
        // Only the 2-level modes up to 2400 symbols/s (with a simulcast, 3200).
        bool slowTwoLevel = false;
        // Where two transmitters of a simulcast network overlap: the second,
        // 1 dB weaker, heard this many symbols later (0: none).
        double simulcastSymbols = 0;
        // A busy 4-level transmission after `gapSeconds` of receiver noise
        // alone, the receiver's first.
        bool busy = false;
    };
    std::vector<Receiver> receivers;
    for (const auto& [bandwidth, sampleRate] : {std::pair{1.0, 24000.0}, {1.15, 11025.0}, {4.0, 16000.0}, {0.0, 48000.0}})
        for (const auto& [gap, rateError] : {std::pair{0.5, 0.01}, {10.0, -0.01}, {2.5, 0.0}})
            receivers.push_back({bandwidth, gap, rateError, kClean, 0, sampleRate});
    receivers.push_back({-1, 0.5, 0, 0, 0, 22050});
    receivers.push_back({-1, 0.5, 0.005, 10, -0.2, 22050});
    for (const double join : {0.4, 1.0}) receivers.push_back({-1, 0, 0, 14, 0, 22050, join});
    receivers.push_back({-1, 0.5, 0, kClean, 0, 22050, 0, 5});
    // Two transmitters a quarter of a symbol apart: the discriminator follows
    // one on rising changes and the other on falling ones, so runs come
    // alternately short and long, by up to a third of a symbol. FLEX 3200/2
    // reads a bit shrunk to half only from the slicer's second decision,
    // which its first frame asks for: a busy transmission follows it.
    receivers.push_back({-1, 0.5, 0, kClean, 0, 22050, 0, 0, 0, true, 0.25});
    // A line input's coupling and a speaker output's, their corners set.
    receivers.push_back({-1, 0.5, 0, kClean, 0, 22050, 0, 30, 30});
    receivers.push_back({-1, 0.5, 0, kClean, 0, 22050, 0, 100, 100});
    receivers.push_back({-1, 0.5, 0, kClean, 0, 22050, 0, 300, 300});
    // The same couplings with the corner not known; through a speaker
    // output's the estimate comes too late for the fast and 4-level modes.
    for (const double corner : {30.0, 100.0, 300.0})
        receivers.push_back(
            {-1, 0.5, 0, kClean, 0, 22050, 0, corner, InputChoice::kInputHighPassEstimated, corner > 100});
    // A line input's coupling under noise, the corner not known: the
    // receiver noise before each transmission must not hold the estimate back.
    receivers.push_back({-1, 0.5, 0, 0, 0, 22050, 0, 30, InputChoice::kInputHighPassEstimated});
    receivers.push_back({-1, 1, 0, 1, 0, 22050, 0, 0, 0, false, 0, true});
    testing::TempDir dir;
    for (const Mode& mode : modes) {
        for (const Receiver& rx : receivers) {
            if (rx.slowTwoLevel && (mode.levels != 2 || mode.symbolRate > (rx.simulcastSymbols > 0 ? 3200 : 2400)))
                continue;
            gen::SymbolStream stream = Encode({mode.page}, rx.gapSeconds);
            if (rx.simulcastSymbols > 0 && mode.symbolRate > 2400) {
                const gen::SymbolStream busy = Busy(mode.page);
                stream.insert(stream.end(), busy.begin(), busy.end());
            }
            if (rx.joinSeconds > 0 || rx.busy) {
                if (mode.levels != 4) continue;
                stream = Busy(mode.page, rx.busy ? rx.gapSeconds : 0);
            }
            const std::vector<std::string> expected = DecodeEdges(gen::StreamFrom(stream, rx.joinSeconds), mode.levels);
            ASSERT_FALSE(expected.empty()) << mode.page;
            for (std::uint32_t seed = 1; seed <= (rx.snrAboveMargin < kClean ? 2u : 1u); ++seed) {
                gen::AudioOptions audio;
                audio.levels = mode.levels;
                audio.filterHz = rx.bandwidth > 0 ? rx.bandwidth * mode.symbolRate : rx.bandwidth == 0 ? 1e9 : 0;
                audio.rateError = rx.rateError;
                audio.snrDb = mode.snrDb + rx.snrAboveMargin;
                audio.dcOffset = rx.dcOffset;
                audio.seed = seed;
                audio.sampleRate = rx.sampleRate;
                audio.startSeconds = rx.joinSeconds;
                audio.highpassHz = rx.highpassHz;
                if (rx.simulcastSymbols > 0) {
                    audio.simulcastDelayUs = rx.simulcastSymbols / mode.symbolRate * 1e6;
                    audio.simulcastDb = 1;
                }
                // The recording starts in the pause, or in the busy transmission.
                if (rx.snrAboveMargin == kClean || rx.joinSeconds > 0 || rx.busy) audio.leadSeconds = 0;
                const std::vector<float> samples = gen::SymbolsToAudio(stream, audio);
                const std::string path = WriteAudio(dir / (rx.sampleRate == 48000 ? "air.flac" : "air.wav"), samples,
                                                    static_cast<int>(audio.sampleRate));
                Settings settings = SettingsFor(mode.levels);
                settings.Input.InputHighPass = rx.cornerSetting;
                if (rx.highpassHz == 0) {
                    // DC-coupled: a corner left to the slicer slices it edge for edge alike.
                    const auto slice = [&](std::int32_t corner) {
                        Settings coupling = settings;
                        coupling.Input.InputHighPass = corner;
                        SlicerOptions options = SlicerOptionsFor(coupling);
                        options.sampleRate = audio.sampleRate;
                        AudioSlicer slicer(options);
                        std::vector<std::pair<int, int>> edges;
                        std::vector<EdgeEntry> entries;
                        slicer.process(samples, entries);
                        slicer.Flush(entries);
                        for (const EdgeEntry& e : entries) edges.emplace_back(e.duration, e.lineState);
                        return edges;
                    };
                    EXPECT_EQ(slice(InputChoice::kInputHighPassEstimated), slice(0)) << mode.page << ", " << rx.bandwidth
                                                                                    << "x, SNR " << audio.snrDb;
                }
                EXPECT_EQ(DecodeFile(path, settings)->messageLines, expected)
                    << mode.page << ", low-pass " << rx.bandwidth << "x, gap " << rx.gapSeconds << " s, joined at "
                    << rx.joinSeconds << " s, simulcast " << rx.simulcastSymbols << " symbol, high-pass "
                    << rx.highpassHz << " Hz (set " << rx.cornerSetting << " Hz), clock "
                    << rx.rateError << ", SNR " << audio.snrDb << ", seed " << seed;
            }
        }
    }
}

// Every phase of a 4-level frame at low sample rates, in a recording that
// starts in a pause: the inner levels' means, dragged off while the outer
// levels were learnt, lost the phases carried on the low bit of each symbol.
TEST(AudioInput, FourLevelPhasesAtLowSampleRates) {
    testing::TempDir dir;
    for (const auto& [mode, rate] : {std::pair{"3200/4", 11025}, {"3200/4", 12000}, {"6400/4", 12000}}) {
        std::vector<std::string> pages;
        for (const char* page : {"1100000:0:alpha:Phase A page", "1100004:0:alpha:Phase B page",
                                 "1100008:0:alpha:Phase C page", "1100012:0:alpha:Phase D page"})
            pages.push_back(std::string("flex:") + mode + ":" + page);
        gen::SymbolStream stream;
        gen::AppendSilence(stream, 0, 0.5);
        const gen::SymbolStream frame = testing::Encode(pages);
        stream.insert(stream.end(), frame.begin(), frame.end());
        const std::vector<std::string> expected = DecodeEdges(stream, 4);
        ASSERT_EQ(expected.size(), 5u) << mode;
        gen::AudioOptions audio;
        audio.levels = 4;
        audio.sampleRate = rate;
        audio.leadSeconds = 0;
        const std::string path = WriteAudio(dir / "air.wav", gen::SymbolsToAudio(stream, audio), rate);
        EXPECT_EQ(DecodeFile(path, SettingsFor(4))->messageLines, expected) << mode << " at " << rate << " Hz";
    }
}

// Receivers differ in the sense of their audio. With InvertData at 0 the
// sync words set it: a transmission in the opposite sense decodes, and so
// does one in the usual sense after it (GSC follows the sense found). The
// flip shows in the title; AutoPolarity=0 keeps the usual sense.
TEST(AudioInput, PolarityFollowsTheSyncWords) {
    struct Case {
        const char* inverted;  // sent first, in the opposite sense
        const char* usual;     // then in the usual sense, or (GSC) also inverted
        int levels;
    };
    const Case cases[] = {{"pocsag:1200:1234567:3:alpha:Upside down", "pocsag:512:1234568:3:alpha:Right way up", 2},
                          {"flex:1600/2:1234567:0:alpha:Upside down", "flex:3200/2:1234568:0:alpha:Right way up", 2},
                          {"flex:6400/4:1100000:0:alpha:Upside down", "flex:3200/4:1100001:0:alpha:Right way up", 4},
                          {"pocsag:2400:1234567:3:alpha:Upside down", "gsc:600c:123456:0:alpha:UPSIDE DOWN TOO", 2}};
    testing::TempDir dir;
    for (const Case& c : cases) {
        const bool gsc = std::string(c.usual).rfind("gsc", 0) == 0;
        std::vector<float> samples;
        std::vector<std::string> expected, usual;
        for (const char* page : {c.inverted, c.usual}) {
            const gen::SymbolStream stream = Encode({page});
            const std::vector<std::string> lines = DecodeEdges(stream, c.levels);
            ASSERT_FALSE(lines.empty()) << page;
            if (page == c.usual) usual = lines;
            expected.insert(expected.end(), lines.begin(), lines.end());
            gen::AudioOptions audio;
            audio.levels = c.levels;
            audio.invert = page == c.inverted || gsc;
            const std::vector<float> part = gen::SymbolsToAudio(stream, audio);
            samples.insert(samples.end(), part.begin(), part.end());
        }
        const std::string path = WriteAudio(dir / "air.wav", samples, 22050);
        for (const int autoPolarity : {1, 0}) {
            Settings settings = SettingsFor(c.levels);
            settings.AutoPolarity = autoPolarity;
            const auto rig = DecodeFile(path, settings);
            const auto shown = [&](const char* title) {
                return std::find(rig->title.titles.begin(), rig->title.titles.end(), title) != rig->title.titles.end();
            };
            if (autoPolarity) {
                EXPECT_EQ(rig->messageLines, expected) << c.inverted;
                EXPECT_TRUE(shown(" Tolvane - inverted polarity")) << c.inverted;
                EXPECT_EQ(shown(" Tolvane - normal polarity"), !gsc) << c.inverted;
            } else if (!gsc) {
                EXPECT_EQ(rig->messageLines, usual) << c.inverted;
                EXPECT_FALSE(shown(" Tolvane - inverted polarity")) << c.inverted;
            }
        }
    }
}

// One sample that is not a number, infinite or far beyond full scale in a
// float WAV (a broken capture or converter) costs at most the page it falls
// in.
TEST(AudioInput, BadFloatSampleCostsNoLaterPage) {
    const gen::SymbolStream stream =
        Encode({"pocsag:1200:1234567:3:alpha:Before the bad sample", "pocsag:1200:1234568:3:alpha:After the bad sample"});
    const std::vector<std::string> expected = DecodeEdges(stream, 2);
    ASSERT_EQ(expected.size(), 2u);
    const std::vector<float> clean = gen::SymbolsToAudio(stream, gen::AudioOptions());
    testing::TempDir dir;
    const float kInf = std::numeric_limits<float>::infinity();
    for (const float bad : {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf, 1e6f, -1e30f}) {
        // The start, inside the first page, the end.
        for (const std::size_t at : {std::size_t{0}, clean.size() / 4, clean.size() - 1}) {
            std::vector<float> samples = clean;
            samples[at] = bad;
            const std::string path = dir / "bad.wav";
            ASSERT_TRUE(testing::WriteMonoWav(path, samples, 22050));
            const std::vector<std::string> lines = DecodeFile(path, Settings())->messageLines;
            EXPECT_TRUE(lines == expected || (at > 0 && at < clean.size() - 1 && lines == std::vector{expected[1]}))
                << bad << " at " << at << ": " << lines.size();
        }
    }
}

// Raw samples through a pipe, as from `rtl_fm ... | tolvane-cli - --rate N`:
// written in odd-sized pieces with pauses, so reads see split samples.
TEST(AudioInput, RawSamplesThroughAPipe) {
    const gen::SymbolStream stream = Encode({"pocsag:1200:1234567:3:alpha:Through a pipe"});
    const std::vector<std::int16_t> pcm = gen::ToS16(gen::SymbolsToAudio(stream, gen::AudioOptions()));
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
        const auto* bytes = reinterpret_cast<const char*>(pcm.data());  // little-endian, as the format
        for (std::size_t at = 0, size = pcm.size() * 2; at < size;) {
            const ssize_t done = ::write(ends[1], bytes + at, std::min<std::size_t>(777, size - at));
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
    EXPECT_EQ(rig.messageLines, DecodeEdges(stream, 2));
}

// Each input name reaches the right source; names and files that cannot
// work say why.
TEST(AudioInput, SelectInputByName) {
    testing::TempDir dir;
    const std::string edges = dir / "rec.tve";
    EdgeFileWriter tve;
    ASSERT_TRUE(tve.Open(edges));
    tve.AddRun(1000, kLineDCD);
    ASSERT_TRUE(tve.Close());
    const std::string wav = WriteAudio(dir / "a.wav", std::vector<float>(100, 0.0f), 8000);
    const std::string raw = WriteAudio(dir / "a.s16", std::vector<float>(100, 0.0f), 8000);
    std::ofstream(dir / "notes.txt") << "neither edges nor audio\n";
    Settings settings;
    const auto kindOf = [](EdgeSource* s) -> std::string {
        if (dynamic_cast<EdgeFileSource*>(s)) return "edges";
        if (dynamic_cast<AudioFileSource*>(s)) return "audio file";
        if (dynamic_cast<RawAudioSource*>(s)) return "raw";
        if (dynamic_cast<LiveAudioSource*>(s)) return "live";
        return dynamic_cast<SerialSource*>(s) ? "serial" : "none";
    };
    const std::pair<std::string, std::string> named[] = {{edges, "edges"}, {wav, "audio file"}, {raw, "raw"},
                                                         {"-", "raw"}, {"audio:default", "live"},
                                                         {"serial:/dev/ttyS0", "serial"}};
    std::string error;
    for (const auto& [input, kind] : named) {
        std::unique_ptr<EdgeSource> source = SelectInput(input, InputOptions(), settings, error);
        EXPECT_EQ(kindOf(source.get()), kind) << input << ": " << error;
        EXPECT_EQ(IsLiveInput(input), kind == "live" || kind == "serial") << input;
    }
    EXPECT_EQ(SelectInput(dir / "absent.wav", InputOptions(), settings, error), nullptr);
    EXPECT_EQ(error.rfind(std::string(AttachErrorMessage(AttachError::CannotOpenRecording)), 0), 0u) << error;
    EXPECT_EQ(SelectInput("serial:", InputOptions(), settings, error), nullptr);
    EXPECT_EQ(SelectInput("", InputOptions(), settings, error), nullptr);

    // Attach fails with the format message: a file nobody reads as audio,
    // audio outside 1000 Hz..1 MHz, raw audio without a rate.
    EdgeRing ring;
    EXPECT_EQ(SelectInput(dir / "notes.txt", InputOptions(), settings, error)->Attach(ring).error, AttachError::BadFormat);
    for (const int rate : {999, 1000001}) {
        AudioFileSource file(WriteAudio(dir / "odd.wav", std::vector<float>(100, 0.0f), rate), SlicerOptions());
        const AttachStatus rejected = file.Attach(ring);
        EXPECT_NE(rejected.detail.find("between 1000 and 1000000 Hz, not " + std::to_string(rate)), std::string::npos)
            << rejected.detail;
    }
    settings.Input.InputRate = 0;
    EXPECT_EQ(SelectInput(raw, InputOptions(), settings, error)->Attach(ring).error, AttachError::BadFormat);
}

// Attaching a FIFO never waits for its writer (the desktop program attaches
// on its window's thread), nor does detaching one whose writer never came;
// a writer that comes later hands over all it writes.
TEST(AudioInput, FifoIsOpenedOnTheSourceThread) {
    testing::TempDir dir;
    const std::string fifo = dir / "edges.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EdgeRing ring;
    using Clock = std::chrono::steady_clock;
    for (const bool writerComes : {false, true}) {
        SCOPED_TRACE(writerComes ? "late writer" : "no writer");
        std::thread writer;
        if (writerComes) {
            writer = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                std::ofstream out(fifo, std::ios::binary);
                out.write(kEdgeFileMagic, sizeof kEdgeFileMagic);
                for (int i = 0; i < 1000; ++i) out.write("\x10\x00\x80", 3);
            });
        }
        std::unique_ptr<EdgeSource> source = SelectInput(fifo, InputOptions(), Settings(), error);
        ASSERT_NE(source, nullptr) << error;
        auto started = Clock::now();
        ASSERT_TRUE(source->Attach(ring).Ok());
        EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(200));
        int entries = 0;
        for (const auto until = Clock::now() + std::chrono::seconds(writerComes ? 10 : 1); Clock::now() < until;) {
            for (EdgeEntry entry; ring.Pop(entry);) ++entries;
            if (source->Finished() && ring.Empty()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(entries, writerComes ? 1000 : 0);
        EXPECT_EQ(source->Finished(), writerComes);
        started = Clock::now();
        source->Detach();
        EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500));
        EXPECT_EQ(source->RuntimeError(), "");
        if (writer.joinable()) writer.join();
    }
}

}  // namespace
}  // namespace tolvane
