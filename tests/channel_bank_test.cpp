// The channel bank on its own: where the fine tuning settles, when the
// squelch lets audio through, and what a channel next to a strong carrier
// hears while its own transmitter is off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "receiver/iq/channel_bank.h"
#include "support/iq_loopback.h"
#include "tools/gen/iq_writer.h"

namespace tolvane {
namespace {

constexpr double kRate = 960000;
constexpr double kCentre = 466.0e6;
constexpr double kChannel = 466.1e6;

struct Heard {
    double tuningHz = 0;
    bool openAtEnd = false;
    double openShare = 0;     // of the audio blocks in the second half
    float loudest = 0;        // audio through a closed squelch
    std::size_t changes = 0;  // of the sliced line state
    double farthestHz = 0;    // of the tuning from the channel's own carrier, from 0.5 s on
};

// `seconds` of carriers continuously modulated with random data (levels in
// dB) at the given offsets from the channel, and the channel's own
// transmissions if given (then as long as they are), through a one-channel
// bank (4 levels if `levels` says so).
Heard Listen(const std::vector<std::pair<double, double>>& carriers, double cnrDb, double seconds = 1.5,
             const gen::IqCarrier* own = nullptr, int levels = 2) {
    gen::IqOptions options;
    options.sampleRate = kRate;
    options.centreHz = kCentre;
    options.cnrDb = cnrDb;
    options.seed = 7;
    for (const auto& [offset, level] : carriers) options.neighbours.push_back({kChannel + offset, level});
    gen::IqCarrier length;  // keyed never: it only sets how long the recording is
    length.frequencyHz = kChannel;
    gen::AppendSilence(length.stream, 0, seconds);
    length.keyed.emplace_back(0, 0);
    if (own != nullptr) {
        length = *own;
        seconds = 0;
        for (const gen::TimedSymbol& symbol : own->stream) seconds += symbol.seconds;
    }

    BankOptions bankOptions;
    bankOptions.sampleRate = kRate;
    bankOptions.maxBlock = 65536;
    ChannelTuning tuning;
    tuning.offsetHz = kChannel - kCentre;
    tuning.slicer.fourLevel = levels == 4;
    ChannelBank bank(bankOptions, {tuning});
    Heard heard;
    std::size_t blocks = 0, open = 0, seen = 0;
    std::uint8_t state = 0;
    const auto total = static_cast<std::size_t>(seconds * kRate);
    gen::GenerateIq({length}, options, [&](const std::vector<std::complex<float>>& samples) {
        bank.Process(samples);
        seen += samples.size();
        const std::span<const float> audio = bank.LastAudio(0);
        if (!bank.SquelchOpen(0))
            for (float v : audio) heard.loudest = std::max(heard.loudest, std::fabs(v));
        if (seen > total / 2) {
            ++blocks;
            if (bank.SquelchOpen(0)) ++open;
        }
        for (const EdgeEntry& edge : bank.Edges(0)) {
            if (edge.lineState != state) ++heard.changes;
            state = edge.lineState;
        }
        bank.Edges(0).clear();
        const double strayHz = std::fabs(bank.TuningOffsetHz(0) - (length.frequencyHz - kChannel));
        if (static_cast<double>(seen) > kRate / 2) heard.farthestHz = std::max(heard.farthestHz, strayHz);
    });
    heard.tuningHz = bank.TuningOffsetHz(0);
    heard.openAtEnd = bank.SquelchOpen(0);
    heard.openShare = blocks > 0 ? static_cast<double>(open) / static_cast<double>(blocks) : 0;
    return heard;
}

// A carrier within 3 kHz is followed (beyond, the tuning stays at its
// limit) and opens the squelch, even at the FM threshold or beside a 30 dB
// stronger neighbour; noise or a strong carrier next door leave it shut,
// with nothing heard and the tuning where it was.
TEST(ChannelBank, FineTuningAndSquelch) {
    struct Row {
        std::vector<std::pair<double, double>> carriers;  // offset from the channel, level in dB
        double cnrDb;
        bool open;
        double tuningHz;  // where the tuning settles
    };
    const Row rows[] = {
        {{{0, 0}}, 25, true, 0}, {{{-1500, 0}}, 25, true, -1500}, {{{2000, 0}}, 25, true, 2000},
        {{{-3000, 0}}, 25, true, -3000}, {{{2900, 0}}, 25, true, 2900}, {{{4500, 0}}, 25, true, 3000},
        {{{0, 0}}, 5, true, 0}, {{{0, 0}, {25000, 30}}, 25, true, 0},
        {{}, 20, false, 0}, {{{25000, 40}}, 20, false, 0}, {{{-25000, 40}}, 20, false, 0},
    };
    for (const Row& row : rows) {
        const Heard heard = Listen(row.carriers, row.cnrDb);
        const std::string what = ::testing::PrintToString(row.carriers) + " at " + std::to_string(row.cnrDb) + " dB";
        EXPECT_NEAR(heard.tuningHz, row.tuningHz, row.open ? 250 : 1) << what;
        if (row.open) {
            EXPECT_GT(heard.openShare, 0.99) << what;
            EXPECT_TRUE(heard.openAtEnd) << what;
            EXPECT_GT(heard.changes, 700u) << what;  // 1.5 s of random 1200 bit/s data: about 900
        } else {
            EXPECT_EQ(heard.openShare, 0.0) << what;
            EXPECT_EQ(heard.loudest, 0.0f) << what;
            EXPECT_EQ(heard.changes, 0u) << what;
        }
    }
}

// Data that is not balanced (GSC's idle, numeric POCSAG, long FLEX messages, 4-level FLEX) must not pull the tuning.
TEST(ChannelBank, FineTuningFollowsTheCarrierNotTheData) {
    std::vector<std::string> fourLevel;
    for (int i = 0; i < 8; ++i)  // alternating rates: a transmission each
        fourLevel.push_back(std::string(i % 2 == 0 ? "flex:6400/4:" : "flex:3200/4:") + std::to_string(1100000 + i) +
                            ":0:alpha:MDTSLKTTFEYCVANZ");
    struct Row {
        std::vector<std::string> pages;
        double offsetHz;  // of the carrier from the channel
        int levels;
        double strayHz;  // how far the tuning may stray from it once found (4 levels: 3.2 kHz apart)
    };
    const std::string gsc = "gsc:600:12345:0:alpha:Courier pickup at dock 4";
    const Row rows[] = {{{gsc}, 0, 2, 150}, {{gsc}, 1500, 2, 150}, {fourLevel, 0, 4, 400}, {fourLevel, -1500, 4, 400},
                        {{"pocsag:512:512001:0:numeric:" + std::string(40, '0')}, -1500, 2, 150},
                        {{"flex:1600/2:1600001:0:alpha:" + std::string(200, '@')}, 1500, 2, 150}};
    for (const Row& row : rows) {
        const gen::IqCarrier own = testing::Carrier(row.pages, kChannel + row.offsetHz);
        EXPECT_LT(Listen({}, 30, 0, &own, row.levels).farthestHz, row.strayHz) << row.pages[0] << " " << row.offsetHz;
    }
}

}  // namespace
}  // namespace tolvane
