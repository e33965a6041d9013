#include "tools/gen/audio_writer.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace tolvane::gen {

LowPass::LowPass(double cutoff, double sampleRate) {
    const double w = 2 * std::numbers::pi * cutoff / sampleRate;
    const double alpha = std::sin(w) / std::numbers::sqrt2;
    const double cosw = std::cos(w);
    const double a0 = 1 + alpha;
    b0_ = (1 - cosw) / 2 / a0;
    b1_ = (1 - cosw) / a0;
    b2_ = b0_;
    a1_ = -2 * cosw / a0;
    a2_ = (1 - alpha) / a0;
}

double LowPass::Step(double x) {
    const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return y;
}

HighPass::HighPass(double corner, double sampleRate) {
    const double rc = 1 / (2 * std::numbers::pi * corner);
    a_ = rc / (rc + 1 / sampleRate);
}

double HighPass::Step(double x) {
    out_ = a_ * (out_ + x - in_);
    in_ = x;
    return out_;
}

namespace {

double LevelOf(std::uint8_t symbol, const AudioOptions& options) {
    symbol &= 3;
    if (options.invert) symbol ^= 3;
    if (options.levels == 4) return options.deviation * (2.0 * symbol - 3.0) / 3.0;
    return symbol >= 2 ? options.deviation : -options.deviation;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) return false;
    return std::equal(tail.rbegin(), tail.rend(), text.rbegin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// The outer level's deviation on the air: 4.8 kHz for POCSAG, FLEX and GSC.
constexpr double kOuterDeviationHz = 4800;

// Replaces the modulating signal (as audio levels) by what a discriminator
// makes of two transmitters sending it: FM at the on-air deviation, the
// second path delayed, weaker and offset, the sum's phase differenced.
void HearSimulcast(std::vector<double>& wave, const AudioOptions& options) {
    const double fs = options.sampleRate;
    const double hzPerLevel = kOuterDeviationHz / options.deviation;
    std::vector<double> phase(wave.size() + 1, 0.0);  // at sample boundaries, radians
    for (std::size_t i = 0; i < wave.size(); ++i)
        phase[i + 1] = phase[i] + 2 * std::numbers::pi * hzPerLevel * wave[i] / fs;
    const double delay = options.simulcastDelayUs * 1e-6 * fs;
    const double ratio = std::pow(10.0, -options.simulcastDb / 20);
    const auto phaseAt = [&phase](double at) {
        if (at <= 0) return 0.0;
        const auto i = static_cast<std::size_t>(at);
        if (i + 1 >= phase.size()) return phase.back();
        const double f = at - static_cast<double>(i);
        return phase[i] + f * (phase[i + 1] - phase[i]);
    };
    // The second carrier's phase against the first's is arbitrary; not 0, so
    // that the two do not start in step.
    constexpr double kSecondCarrierPhase = 1.0;
    std::complex<double> previous = 1.0 + std::polar(ratio, kSecondCarrierPhase);
    for (std::size_t i = 0; i < wave.size(); ++i) {
        const double n = static_cast<double>(i + 1);
        const double second =
            phaseAt(n - delay) + 2 * std::numbers::pi * options.simulcastOffsetHz * n / fs + kSecondCarrierPhase;
        const std::complex<double> sum = std::polar(1.0, phase[i + 1]) + std::polar(ratio, second);
        wave[i] = std::arg(sum * std::conj(previous)) * fs / (2 * std::numbers::pi) / hzPerLevel;
        previous = sum;
    }
}

}  // namespace

std::vector<float> SymbolsToAudio(const SymbolStream& stream, const AudioOptions& options) {
    const double fs = options.sampleRate;
    const double scale = 1.0 / (1.0 + options.rateError);
    double body = 0;
    for (const TimedSymbol& s : stream) body += s.seconds * scale;
    const double lead = std::max(0.0, options.leadSeconds);
    const auto total = static_cast<std::size_t>(std::ceil((2 * lead + body) * fs));
    std::vector<double> wave(total, 0.0);

    // Each sample holds the mean of the waveform over its interval.
    double start = lead * fs;  // in samples
    for (const TimedSymbol& s : stream) {
        const double end = start + s.seconds * scale * fs;
        const double level = LevelOf(s.symbol, options);
        const auto first = static_cast<std::size_t>(start);
        if (first >= total) break;
        const auto last = std::min(static_cast<std::size_t>(end), total - 1);
        if (first == last) {
            wave[first] += level * (end - start);
        } else {
            wave[first] += level * (static_cast<double>(first + 1) - start);
            for (std::size_t i = first + 1; i < last; ++i) wave[i] += level;
            if (last < total) wave[last] += level * (end - static_cast<double>(last));
        }
        start = end;
    }

    if (std::isfinite(options.simulcastDb)) HearSimulcast(wave, options);

    double cutoff = options.filterHz > 0 ? options.filterHz : 4000.0;
    cutoff = std::min(cutoff, 0.4 * fs);
    LowPass signalFilter(cutoff, fs);
    double power = 0;
    const auto bodyFirst = static_cast<std::size_t>(lead * fs);
    const auto bodyLast = std::min(total, static_cast<std::size_t>((lead + body) * fs));
    for (std::size_t i = 0; i < total; ++i) {
        wave[i] = signalFilter.Step(wave[i]);
        if (i >= bodyFirst && i < bodyLast) power += wave[i] * wave[i];
    }
    if (bodyLast > bodyFirst) power /= static_cast<double>(bodyLast - bodyFirst);

    if (std::isfinite(options.snrDb) && power > 0) {
        std::mt19937 rng(options.seed);
        std::normal_distribution<double> gauss(0.0, 1.0);
        LowPass noiseFilter(cutoff, fs);
        std::vector<double> noise(total);
        double noisePower = 0;
        for (std::size_t i = 0; i < total; ++i) {
            noise[i] = noiseFilter.Step(gauss(rng));
            noisePower += noise[i] * noise[i];
        }
        noisePower /= static_cast<double>(std::max<std::size_t>(total, 1));
        const double gain = std::sqrt(power / std::pow(10.0, options.snrDb / 10.0) / noisePower);
        for (std::size_t i = 0; i < total; ++i) wave[i] += gain * noise[i];
    }

    for (std::size_t i = 0; i < total; ++i) wave[i] += options.dcOffset;
    if (options.highpassHz > 0) {
        HighPass coupling(options.highpassHz, fs);
        for (std::size_t i = 0; i < total; ++i) wave[i] = coupling.Step(wave[i]);
    }
    const auto skipped = std::min(total, static_cast<std::size_t>(std::max(0.0, options.startSeconds) * fs));
    std::vector<float> out(total - skipped);
    for (std::size_t i = skipped; i < total; ++i) {
        out[i - skipped] = static_cast<float>(std::clamp(wave[i], -1.0, 32767.0 / 32768.0));
    }
    return out;
}

AudioFileFormat AudioFormatForPath(const std::string& path) {
    if (EndsWith(path, ".wav")) return AudioFileFormat::Wav;
    if (EndsWith(path, ".flac")) return AudioFileFormat::Flac;
    if (EndsWith(path, ".s16") || EndsWith(path, ".raw")) return AudioFileFormat::RawS16;
    return AudioFileFormat::Unknown;
}

std::vector<std::int16_t> ToS16(const std::vector<float>& samples) {
    std::vector<std::int16_t> out(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double v = std::round(static_cast<double>(samples[i]) * 32768.0);
        out[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return out;
}

bool WriteAudioFile(const std::string& path, const std::vector<float>& samples, int sampleRate,
                    std::string& error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    switch (AudioFormatForPath(path)) {
        case AudioFileFormat::Wav: info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16; break;
        case AudioFileFormat::Flac: info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16; break;
        case AudioFileFormat::RawS16: info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE; break;
        case AudioFileFormat::Unknown:
            error = path + ": unknown audio file type (use .wav, .flac, .s16 or .raw)";
            return false;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    const std::vector<std::int16_t> pcm = ToS16(samples);
    const auto written = sf_write_short(file, pcm.data(), static_cast<sf_count_t>(pcm.size()));
    const bool ok = written == static_cast<sf_count_t>(pcm.size());
    if (!ok) error = path + ": " + sf_strerror(file);
    if (sf_close(file) != 0 && ok) {
        error = path + ": could not be closed";
        return false;
    }
    return ok;
}

}  // namespace tolvane::gen
