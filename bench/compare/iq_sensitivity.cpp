// The FM threshold of the IQ path: exact pages against the carrier-to-noise
// ratio, for the channel bank (channel filter, discriminator, squelch,
// fine tuning, slicer) and for a reference receiver on the very same IQ
// samples: the channel tuned exactly, a plain 24 kHz wide low-pass and
// decimation, the discriminator, silence whenever the transmitter is off
// (a squelch that knows, where the bank's has to tell a carrier from
// noise) and the slicer. Both see the same transmissions and the same
// noise, so the difference is what the bank's own parts cost.
//
//   tolvane-iq-sensitivity [PAGES]    (default 20 per point; CSV on stdout)
#include <complex>  // before liquid.h, which then takes std::complex
#include <liquid/liquid.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <numbers>
#include <set>
#include <random>
#include <string>
#include <vector>

#include "receiver/audio_slicer.h"
#include "receiver/input_select.h"
#include "receiver/iq/channel_bank.h"
#include "support/loopback.h"
#include "tools/gen/iq_writer.h"

namespace {

using namespace tolvane;

constexpr double kRate = 192000;  // two stages of 2 and 4 to 24 kHz audio, as at 2.4 MS/s
constexpr double kCentre = 466.0e6;
constexpr double kOffset = 50000;
constexpr double kOuterDeviationHz = 4800;
constexpr std::size_t kBankBlock = 1311;  // 16384 samples at 2.4 MS/s

struct Mode {
    const char* name;
    const char* description;  // PROTOCOL:RATE, the capcode and the rest follow
    int levels;
    int function;
    std::vector<double> cnrs;
};

// Each page a transmission of its own, so that one lost sync costs one page.
gen::IqCarrier Transmissions(const Mode& mode, int pages, unsigned seed, std::vector<std::string>& expected) {
    std::mt19937 rng(seed);
    gen::IqCarrier carrier;
    carrier.frequencyHz = kCentre + kOffset;
    double now = 0;
    for (int i = 0; i < pages; ++i) {
        std::string text;
        for (int k = 0; k < 16; ++k) text += static_cast<char>('A' + rng() % 26);
        const std::string description = std::string(mode.description) + ":" + std::to_string(100000 + 7919 * i) + ":" +
                                         std::to_string(mode.function) + ":alpha:" + text;
        gen::PageDescription page;
        std::string error;
        gen::IqCarrier one;
        if (!gen::ParsePageDescription(description, page, error) ||
            !gen::BuildCarrier({page}, gen::EncodeOptions(), 0.3, one, error)) {
            std::fprintf(stderr, "%s: %s\n", description.c_str(), error.c_str());
            std::exit(1);
        }
        double length = 0;
        for (const gen::TimedSymbol& symbol : one.stream) length += symbol.seconds;
        for (const auto& [start, end] : one.keyed) carrier.keyed.emplace_back(now + start, now + end);
        carrier.stream.insert(carrier.stream.end(), one.stream.begin(), one.stream.end());
        now += length;
    }
    // A second of silence at the end: the last transmission's end is heard
    // as every other's.
    gen::AppendSilence(carrier.stream, 0, 1.0);
    gen::ChannelOptions clean;
    clean.levels = mode.levels;
    const auto rig = testing::Receive(gen::SymbolsToEdges(carrier.stream, clean), testing::Untimed(mode.levels));
    for (const std::string& line : rig->messageLines)
        if (!line.empty() && (line[0] == '{' || line[0] == '[' || line[0] == '(')) expected.push_back(line);
    return carrier;
}

class Reference {
public:
    Reference(const SlicerOptions& slicer, const std::vector<std::pair<double, double>>& keyed)
        : slicer_(slicer), keyed_(keyed) {
        mixer_ = nco_crcf_create(LIQUID_VCO);
        nco_crcf_set_frequency(mixer_, static_cast<float>(2 * std::numbers::pi * kOffset / kRate));
        first_ = firdecim_crcf_create_kaiser(2, 12, 60.0f);
        second_ = firdecim_crcf_create_kaiser(4, 12, 60.0f);
        demodulator_ = freqdem_create(static_cast<float>(kOuterDeviationHz / 0.5 / (kRate / 8)));
    }
    ~Reference() {
        nco_crcf_destroy(mixer_);
        firdecim_crcf_destroy(first_);
        firdecim_crcf_destroy(second_);
        freqdem_destroy(demodulator_);
    }
    void Process(const std::vector<std::complex<float>>& samples, std::vector<EdgeEntry>& edges) {
        audio_.clear();
        for (const std::complex<float>& x : samples) {
            std::complex<float> y;
            nco_crcf_mix_down(mixer_, x, &y);
            nco_crcf_step(mixer_);
            pending_[count_++] = y;
            if (count_ % 2 == 0) firdecim_crcf_execute(first_, &pending_[count_ - 2], &stage_[count_ / 2 - 1]);
            if (count_ < 8) continue;
            count_ = 0;
            std::complex<float> z;
            firdecim_crcf_execute(second_, stage_, &z);
            float m = 0;
            freqdem_demodulate(demodulator_, z, &m);
            audio_.push_back(Keyed() ? std::clamp(m, -1.0f, 1.0f) : 0.0f);
            ++produced_;
        }
        slicer_.process(audio_, edges);
    }
    void Flush(std::vector<EdgeEntry>& edges) { slicer_.Flush(edges); }

private:
    // Whether the transmitter was on for the audio sample now leaving (a
    // millisecond more each side covers the filters' delay and the ramps).
    bool Keyed() const {
        const double t = static_cast<double>(produced_) / (kRate / 8);
        for (const auto& [start, end] : keyed_)
            if (t >= start - 0.001 && t < end + 0.002) return true;
        return false;
    }

    AudioSlicer slicer_;
    nco_crcf mixer_;
    firdecim_crcf first_, second_;
    freqdem demodulator_;
    std::complex<float> pending_[8];
    std::complex<float> stage_[4];
    std::size_t count_ = 0;
    std::size_t produced_ = 0;
    std::vector<float> audio_;
    std::vector<std::pair<double, double>> keyed_;
};

std::size_t Exact(const std::vector<std::string>& expected, const std::vector<EdgeEntry>& edges, int levels) {
    const auto rig = testing::Receive(edges, testing::Untimed(levels));
    std::multiset<std::string> decoded(rig->messageLines.begin(), rig->messageLines.end());
    std::size_t exact = 0;
    for (const std::string& line : expected) {
        const auto found = decoded.find(line);
        if (found == decoded.end()) continue;
        decoded.erase(found);
        ++exact;
    }
    return exact;
}

}  // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::vector<Mode> modes = {
        {"POCSAG 512", "pocsag:512", 2, 3, {0, 1, 2, 3, 4}},
        {"POCSAG 1200", "pocsag:1200", 2, 3, {0, 1, 2, 3, 4}},
        {"FLEX 1600/2", "flex:1600/2", 2, 0, {0, 1, 2, 3, 4}},
        {"FLEX 6400/4", "flex:6400/4", 4, 0, {12, 14, 16, 18, 20, 25, 30}},
        {"GSC 600", "gsc:600", 2, 0, {0, 1, 2, 3, 4, 5}},
    };
    std::printf("mode,cnr_db,sent,bank_exact,reference_exact\n");
    for (const Mode& mode : modes) {
        std::vector<std::string> expected;
        const gen::IqCarrier carrier = Transmissions(mode, pages, 11, expected);
        Settings settings = testing::Untimed(mode.levels);
        SlicerOptions slicer = SlicerOptionsFor(settings);
        slicer.sampleRate = kRate / 8;
        for (double cnr : mode.cnrs) {
            BankOptions bankOptions;
            bankOptions.sampleRate = kRate;
            bankOptions.maxBlock = kBankBlock;
            ChannelTuning tuning;
            tuning.offsetHz = kOffset;
            tuning.slicer = slicer;
            ChannelBank bank(bankOptions, {tuning});
            Reference reference(slicer, carrier.keyed);
            gen::IqOptions options;
            options.sampleRate = kRate;
            options.centreHz = kCentre;
            options.cnrDb = cnr;
            options.seed = static_cast<std::uint32_t>(1000 + cnr * 10);
            std::vector<EdgeEntry> bankEdges, referenceEdges;
            gen::GenerateIq({carrier}, options, [&](const std::vector<std::complex<float>>& samples) {
                // In the blocks' length in time that the IQ source gives the
                // bank at 2.4 MS/s: the fine tuning moves once a block.
                for (std::size_t first = 0; first < samples.size(); first += kBankBlock) {
                    const std::size_t count = std::min(kBankBlock, samples.size() - first);
                    bank.Process(std::span<const std::complex<float>>(samples.data() + first, count));
                    bankEdges.insert(bankEdges.end(), bank.Edges(0).begin(), bank.Edges(0).end());
                    bank.Edges(0).clear();
                }
                reference.Process(samples, referenceEdges);
            });
            bank.Flush();
            bankEdges.insert(bankEdges.end(), bank.Edges(0).begin(), bank.Edges(0).end());
            reference.Flush(referenceEdges);
            std::printf("%s,%g,%zu,%zu,%zu\n", mode.name, cnr, expected.size(), Exact(expected, bankEdges, mode.levels),
                        Exact(expected, referenceEdges, mode.levels));
            std::fflush(stdout);
        }
    }
    return 0;
}
