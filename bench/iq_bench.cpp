// One SDR, several pager channels: a second of 2.4 MS/s cu8 with eight
// carriers (continuous random data, so every squelch is open) through the
// channel bank and each channel's slicer, as the IQ source runs it: raw
// bytes converted block by block, then every channel. Items are seconds of
// recording, so items per second is the real-time factor on one core; the
// cost of each added channel is the difference between the rows.
// BandSpectrumCu8 is the same second through the band's spectrum alone
// (which the IQ source keeps beside the channels, for drawing the band and
// estimating the receiver's frequency error).
#include <benchmark/benchmark.h>

#include <complex>
#include <vector>

#include "receiver/iq/band_spectrum.h"
#include "receiver/iq/channel_bank.h"
#include "receiver/iq/iq_format.h"
#include "tools/gen/iq_writer.h"

namespace {

using namespace tolvane;

constexpr double kRate = 2400000;
constexpr double kCentre = 929.5e6;
constexpr std::size_t kBlock = 16384;

double ChannelOffset(int i) { return -875000.0 + 250000.0 * i; }

std::vector<unsigned char> OneSecondOfCu8() {
    gen::IqOptions options;
    options.sampleRate = kRate;
    options.centreHz = kCentre;
    options.cnrDb = 25;
    for (int i = 0; i < 8; ++i) options.neighbours.push_back({kCentre + ChannelOffset(i), 0});
    // The neighbours last as long as the longest carrier: one second of silence.
    gen::IqCarrier carrier;
    carrier.frequencyHz = kCentre;
    gen::AppendSilence(carrier.stream, 0, 1.0);
    carrier.keyed.emplace_back(0, 0);
    std::vector<unsigned char> bytes;
    gen::GenerateIq({carrier}, options, [&](const std::vector<std::complex<float>>& samples) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 2 * samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) EncodeIq(IqFormat::CU8, samples[i], bytes.data() + at + 2 * i);
    });
    bytes.resize(static_cast<std::size_t>(kRate) * 2);
    return bytes;
}

const std::vector<unsigned char>& Recording() {
    static const std::vector<unsigned char> bytes = OneSecondOfCu8();
    return bytes;
}

// The recording converted block by block, as the IQ source reads it.
template <typename Use>
void EachBlock(std::vector<std::complex<float>>& block, Use use) {
    const std::vector<unsigned char>& bytes = Recording();
    const std::size_t samples = bytes.size() / 2;
    for (std::size_t first = 0; first < samples; first += kBlock) {
        const std::size_t count = std::min(kBlock, samples - first);
        ConvertIq(IqFormat::CU8, bytes.data() + 2 * first, count, block.data());
        use(std::span<const std::complex<float>>(block.data(), count));
    }
}

void ChannelBankCu8(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    BankOptions options;
    options.sampleRate = kRate;
    options.maxBlock = kBlock;
    std::vector<ChannelTuning> tunings;
    for (int i = 0; i < channels; ++i) {
        ChannelTuning tuning;
        tuning.offsetHz = ChannelOffset(i);
        tunings.push_back(tuning);
    }
    ChannelBank bank(options, tunings);
    std::vector<std::complex<float>> block(kBlock);
    std::size_t edges = 0;
    for (auto _ : state) {
        EachBlock(block, [&](std::span<const std::complex<float>> samples) {
            bank.Process(samples);
            for (int i = 0; i < channels; ++i) {
                edges += bank.Edges(static_cast<std::size_t>(i)).size();
                bank.Edges(static_cast<std::size_t>(i)).clear();
            }
        });
    }
    benchmark::DoNotOptimize(edges);
    state.SetItemsProcessed(state.iterations());
    state.counters["edges/s/channel"] = benchmark::Counter(
        static_cast<double>(edges) / static_cast<double>(channels), benchmark::Counter::kAvgIterations);
}
BENCHMARK(ChannelBankCu8)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

void BandSpectrumCu8(benchmark::State& state) {
    BandSpectrum spectrum(kRate, kCentre, BandSpectrum::BinsFor(kRate));
    std::vector<std::complex<float>> block(kBlock);
    for (auto _ : state) EachBlock(block, [&](std::span<const std::complex<float>> samples) { spectrum.Process(samples); });
    benchmark::DoNotOptimize(spectrum.PeakHold().data());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BandSpectrumCu8)->Unit(benchmark::kMillisecond);

}  // namespace
