// The channel bank on its own: where the fine tuning settles, when the
// squelch lets audio through, and what a channel next to a strong carrier
// hears while its own transmitter is off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "receiver/iq/channel_bank.h"
#include "tools/gen/iq_writer.h"

namespace tolvane {
namespace {

constexpr double kRate = 960000;
constexpr double kCentre = 466.0e6;
constexpr double kChannel = 466.1e6;

struct Heard {
    double tuningHz = 0;
    bool openAtEnd = false;
    double openShare = 0;  // of the audio blocks in the second half
    float loudest = 0;     // audio through a closed squelch
    std::size_t changes = 0;  // of the sliced line state
};

// `seconds` of carriers continuously modulated with random data (levels in
// dB) at the given offsets from the channel, through a one-channel bank.
Heard Listen(const std::vector<std::pair<double, double>>& carriers, double cnrDb, double seconds = 1.5) {
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

    BankOptions bankOptions;
    bankOptions.sampleRate = kRate;
    bankOptions.maxBlock = 65536;
    ChannelTuning tuning;
    tuning.offsetHz = kChannel - kCentre;
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
    });
    heard.tuningHz = bank.TuningOffsetHz(0);
    heard.openAtEnd = bank.SquelchOpen(0);
    heard.openShare = blocks > 0 ? static_cast<double>(open) / static_cast<double>(blocks) : 0;
    return heard;
}

TEST(ChannelBank, FineTuningFollowsACarrierWithinThreeKilohertz) {
    struct Row {
        double offsetHz;
        double expectedHz;  // where the tuning settles
    };
    // Beyond 3 kHz the tuning stays at its limit.
    for (const Row& row : {Row{0, 0}, Row{-1500, -1500}, Row{2000, 2000}, Row{-3000, -3000}, Row{2900, 2900},
                           Row{4500, 3000}}) {
        const Heard heard = Listen({{row.offsetHz, 0}}, 25);
        EXPECT_NEAR(heard.tuningHz, row.expectedHz, 250) << "carrier " << row.offsetHz << " Hz off";
        EXPECT_TRUE(heard.openAtEnd) << row.offsetHz;
        EXPECT_GT(heard.changes, 700u) << row.offsetHz;  // 1.5 s of random 1200 bit/s data: about 900
    }
}

TEST(ChannelBank, SquelchOpensOnCarriersAndNothingElse) {
    struct Row {
        const char* what;
        std::vector<std::pair<double, double>> carriers;
        double cnrDb;
        bool open;
    };
    const Row rows[] = {
        {"noise alone", {}, 20, false},
        {"a carrier 40 dB stronger 25 kHz away", {{25000, 40}}, 20, false},
        {"a carrier 40 dB stronger 25 kHz below", {{-25000, 40}}, 20, false},
        {"a carrier well above the noise", {{0, 0}}, 25, true},
        {"a carrier near the FM threshold", {{0, 0}}, 5, true},
        {"a carrier beside a 30 dB stronger neighbour", {{0, 0}, {25000, 30}}, 25, true},
    };
    for (const Row& row : rows) {
        const Heard heard = Listen(row.carriers, row.cnrDb);
        if (row.open) {
            EXPECT_GT(heard.openShare, 0.99) << row.what;
        } else {
            EXPECT_EQ(heard.openShare, 0.0) << row.what;
            EXPECT_EQ(heard.loudest, 0.0f) << row.what;
            EXPECT_EQ(heard.changes, 0u) << row.what;
            EXPECT_NEAR(heard.tuningHz, 0, 1) << row.what;
        }
    }
}

}  // namespace
}  // namespace tolvane
