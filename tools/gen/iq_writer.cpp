#include "tools/gen/iq_writer.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>

#include "tools/gen/audio_writer.h"
#include "tools/gen/protocols.h"

namespace tolvane::gen {

namespace {

constexpr double kModulationRate = 48000;  // the modulating waveform, interpolated up
constexpr double kRampSeconds = 0.001;
constexpr std::size_t kBlock = 65536;

// What modulates one carrier: the waveform in units of the outer deviation.
struct Modulator {
    double offsetHz = 0;
    double amplitude = 1;
    std::vector<float> wave;
    std::vector<std::pair<double, double>> keyed;  // empty: always on
    std::complex<double> phasor = 1;
};

std::vector<float> ModulatingWave(const SymbolStream& stream, double rateError) {
    AudioOptions audio;
    audio.sampleRate = kModulationRate;
    audio.levels = 4;  // 2-level streams use only 0 and 3, the outer levels
    audio.deviation = 0.5;
    audio.rateError = rateError;
    audio.leadSeconds = 0;
    std::vector<float> wave = SymbolsToAudio(stream, audio);
    for (float& v : wave) v *= 2.0f;
    return wave;
}

// The transmitter's output level at time t: 0 off, 1 on, raised-cosine ramps.
double KeyLevel(const std::vector<std::pair<double, double>>& keyed, double t) {
    if (keyed.empty()) return 1;
    for (const auto& [start, end] : keyed) {
        if (t < start || t >= end) continue;
        const double edge = std::min(t - start, end - t);
        if (edge >= kRampSeconds) return 1;
        return 0.5 - 0.5 * std::cos(std::numbers::pi * edge / kRampSeconds);
    }
    return 0;
}

void PutLittle32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

bool BuildCarrier(const std::vector<PageDescription>& pages, const EncodeOptions& encode, double gapSeconds,
                  IqCarrier& carrier, std::string& error) {
    carrier.stream.clear();
    carrier.keyed.clear();
    AppendSilence(carrier.stream, 0, gapSeconds);
    double now = gapSeconds;
    std::size_t first = 0;
    while (first < pages.size()) {
        std::size_t end = first + 1;
        while (end < pages.size() && pages[end].protocol == pages[first].protocol && pages[end].rate == pages[first].rate)
            ++end;
        const std::vector<PageDescription> group(pages.begin() + static_cast<std::ptrdiff_t>(first),
                                                 pages.begin() + static_cast<std::ptrdiff_t>(end));
        const ProtocolEntry* protocol = FindProtocol(group.front().protocol);
        if (protocol == nullptr) {
            error = "unknown protocol '" + group.front().protocol + "'";
            return false;
        }
        const std::size_t before = carrier.stream.size();
        if (!protocol->encode(group, encode, carrier.stream, error)) return false;
        double length = 0;
        for (std::size_t i = before; i < carrier.stream.size(); ++i) length += carrier.stream[i].seconds;
        carrier.keyed.emplace_back(now, now + length);
        now += length;
        AppendSilence(carrier.stream, 0, gapSeconds);
        now += gapSeconds;
        first = end;
    }
    return true;
}

void GenerateIq(const std::vector<IqCarrier>& carriers, const IqOptions& options,
                const std::function<void(const std::vector<std::complex<float>>&)>& block) {
    const double fs = options.sampleRate;
    // Where the carriers land: the receiver's oscillator error moves them all.
    const double shift = -options.centreHz * options.ppm * 1e-6;
    std::vector<Modulator> modulators;
    double seconds = 0;
    const double stretch = 1.0 / (1.0 + options.rateError);
    for (const IqCarrier& carrier : carriers) {
        Modulator m;
        m.offsetHz = carrier.frequencyHz - options.centreHz + shift;
        m.wave = ModulatingWave(carrier.stream, options.rateError);
        for (const auto& [start, end] : carrier.keyed) m.keyed.emplace_back(start * stretch, end * stretch);
        seconds = std::max(seconds, static_cast<double>(m.wave.size()) / kModulationRate);
        modulators.push_back(std::move(m));
    }
    // Neighbours: random data for as long as the recording lasts.
    std::mt19937 rng(options.seed);
    for (const IqNeighbour& neighbour : options.neighbours) {
        SymbolStream noise;
        for (double t = 0; t < seconds + 0.01; t += 1.0 / 1200) AppendSymbols(noise, (rng() & 1) != 0 ? 3 : 0, 1200);
        Modulator m;
        m.offsetHz = neighbour.frequencyHz - options.centreHz + shift;
        m.amplitude = std::pow(10.0, neighbour.levelDb / 20);
        m.wave = ModulatingWave(noise, 0);
        m.phasor = std::polar(1.0, 1.0);
        modulators.push_back(std::move(m));
    }
    // Noise per sample such that a 25 kHz slice of it is cnr below a carrier.
    const double sigma =
        std::isfinite(options.cnrDb) ? std::sqrt(fs / kCnrBandwidthHz / std::pow(10.0, options.cnrDb / 10)) : 0.0;
    // Full scale: every carrier at its peak at once, and the noise's peaks.
    double peak = 4 * sigma;
    for (const Modulator& m : modulators) peak += m.amplitude;
    const double scale = peak > 0 ? 0.95 / peak : 1;
    std::normal_distribution<double> gauss(0.0, sigma / std::numbers::sqrt2);

    const auto total = static_cast<std::size_t>(std::ceil(seconds * fs));
    std::vector<std::complex<float>> out;
    out.reserve(kBlock);
    std::vector<std::complex<double>> sum(kBlock);
    for (std::size_t first = 0; first < total; first += kBlock) {
        const std::size_t count = std::min(kBlock, total - first);
        std::fill(sum.begin(), sum.begin() + static_cast<std::ptrdiff_t>(count), std::complex<double>());
        for (Modulator& m : modulators) {
            // The carrier turns by its offset every sample, and by the
            // deviation on top: at most 2 pi 4.8 kHz / fs, small enough for
            // a short series to be exact to double precision's last bits.
            const std::complex<double> carrierTurn = std::polar(1.0, 2 * std::numbers::pi * m.offsetHz / fs);
            const double perLevel = 2 * std::numbers::pi * kOnAirDeviationHz / fs;
            for (std::size_t i = 0; i < count; ++i) {
                const double t = static_cast<double>(first + i) / fs;
                const double key = KeyLevel(m.keyed, t);
                if (key <= 0) continue;  // off the air: the phase it comes back with does not matter
                const double x = t * kModulationRate;
                const auto k = static_cast<std::size_t>(x);
                double level = 0;
                if (k + 1 < m.wave.size()) {
                    const double f = x - static_cast<double>(k);
                    level = m.wave[k] * (1 - f) + m.wave[k + 1] * f;
                }
                const double d = perLevel * level;
                const double d2 = d * d;
                const std::complex<double> deviationTurn(1 - d2 / 2 * (1 - d2 / 12), d * (1 - d2 / 6 * (1 - d2 / 20)));
                m.phasor *= carrierTurn * deviationTurn;
                sum[i] += m.amplitude * key * m.phasor;
            }
            m.phasor /= std::abs(m.phasor);  // no drift in amplitude over a long recording
        }
        out.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            std::complex<double> v = sum[i];
            if (sigma > 0) v += std::complex<double>(gauss(rng), gauss(rng));
            out[i] = std::complex<float>(static_cast<float>(v.real() * scale), static_cast<float>(v.imag() * scale));
        }
        block(out);
    }
}

bool WriteIqFile(const std::string& path, const std::vector<IqCarrier>& carriers, const IqOptions& options,
                 std::string& error) {
    if (options.format == IqFormat::Wav) {
        SF_INFO info{};
        info.samplerate = static_cast<int>(std::lround(options.sampleRate));
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (file == nullptr) {
            error = path + ": " + sf_strerror(nullptr);
            return false;
        }
        unsigned char auxi[64] = {};
        PutLittle32(auxi + 32, static_cast<std::uint32_t>(std::llround(options.centreHz)));
        PutLittle32(auxi + 36, static_cast<std::uint32_t>(info.samplerate));
        SF_CHUNK_INFO chunk{};
        std::memcpy(chunk.id, "auxi", 4);
        chunk.id_size = 4;
        chunk.datalen = sizeof auxi;
        chunk.data = auxi;
        sf_set_chunk(file, &chunk);
        bool ok = true;
        std::vector<float> frames;
        GenerateIq(carriers, options, [&](const std::vector<std::complex<float>>& samples) {
            frames.resize(2 * samples.size());
            for (std::size_t i = 0; i < samples.size(); ++i) {
                frames[2 * i] = samples[i].real();
                frames[2 * i + 1] = samples[i].imag();
            }
            const auto n = static_cast<sf_count_t>(samples.size());
            if (ok && sf_writef_float(file, frames.data(), n) != n) ok = false;
        });
        if (!ok) error = path + ": " + sf_strerror(file);
        if (sf_close(file) != 0 && ok) {
            error = path + ": could not be closed";
            return false;
        }
        return ok;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const std::size_t size = IqSampleBytes(options.format);
    std::vector<unsigned char> bytes;
    bool ok = true;
    GenerateIq(carriers, options, [&](const std::vector<std::complex<float>>& samples) {
        bytes.resize(samples.size() * size);
        for (std::size_t i = 0; i < samples.size(); ++i) EncodeIq(options.format, samples[i], bytes.data() + i * size);
        if (ok && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) ok = false;
    });
    if (std::fclose(file) != 0) ok = false;
    if (!ok) error = path + ": " + std::strerror(errno);
    return ok;
}

}  // namespace tolvane::gen
