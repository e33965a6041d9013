// tolvane-traffic: long runs of paging traffic as discriminator audio, for
// the side-by-side comparison with another decoder.
//
//   tolvane-traffic [--rate HZ] [--snr DB] [--deviation D] [--seed N] [--filter-hz HZ]
//                   [--rate-error F] [--levels 2|4] [--highpass HZ] [--start-at S]
//                   [--simulcast US:DB[:HZ]] -o OUT.s16 PAGEFILE
//
// PAGEFILE holds one page description per line, as tolvane-gen takes them
// (pocsag:1200:1234567:3:alpha:Text). Consecutive pages of one protocol and
// rate form one transmission; "gap SECONDS" inserts silence and ends the
// transmission, as does an empty line. Each transmission is encoded by the
// generator's own encoders and rendered with its audio writer, one at a
// time, so an hour of audio never has to fit in memory.
//
// Noise is white Gaussian noise through the same receiver low-pass as the
// signal (4 kHz unless --filter-hz), at one constant level over the whole
// file (gaps included): SNR = deviation^2 / noise power in a 4 kHz band, in
// dB, so that a narrower receiver filter passes less of the same noise.
// --rate-error makes the transmitter's clock that much fast (0.01 = 1 %);
// --levels 4 sends 4-level FLEX as four levels; --highpass passes the whole
// file, noise included, through a first-order high-pass (AC coupling);
// --start-at drops the first seconds of the output, so that it begins inside
// a transmission, as a receiver switched on while the network is sending;
// --simulcast adds a second transmitter of the network sending the same
// signal US microseconds later, DB weaker (HZ off its carrier), as a
// receiver where two transmitters overlap hears them. The output is signed 16-bit
// little-endian mono; the length in seconds is printed on standard output.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "tools/gen/audio_writer.h"
#include "tools/gen/page_description.h"
#include "tools/gen/protocols.h"

namespace {

using namespace tolvane::gen;

constexpr double kFilterHz = 4000;

class NoisyWriter {
public:
    NoisyWriter(std::ofstream& out, double sampleRate, double filterHz, double noiseRms, std::uint32_t seed,
                double highpassHz, double startSeconds)
        : out_(out), filter_(filterHz, sampleRate), coupling_(highpassHz > 0 ? highpassHz : 1, sampleRate),
          coupled_(highpassHz > 0), skip_(static_cast<std::size_t>(std::max(0.0, startSeconds) * sampleRate)),
          rng_(seed) {
        if (noiseRms > 0) {
            // Power of unit white noise after the filter, measured.
            LowPass probe(kFilterHz, sampleRate);
            std::mt19937 rng(seed ^ 0x9E3779B9u);
            double power = 0;
            constexpr int kProbe = 400000;
            for (int i = 0; i < kProbe; ++i) {
                const double v = probe.Step(gauss_(rng));
                power += v * v;
            }
            gain_ = noiseRms / std::sqrt(power / kProbe);
        }
    }

    void Write(const std::vector<float>& samples) {
        pcm_.clear();
        for (std::size_t i = 0; i < samples.size(); ++i) {
            double v = samples[i];
            if (gain_ > 0) v += gain_ * filter_.Step(gauss_(rng_));
            if (coupled_) v = coupling_.Step(v);
            v = std::round(std::clamp(v, -1.0, 32767.0 / 32768.0) * 32768.0);
            if (skip_ > 0) {
                --skip_;
            } else {
                pcm_.push_back(static_cast<std::int16_t>(v));
            }
        }
        // Little-endian hosts only (x86, arm64), like the raw format itself.
        out_.write(reinterpret_cast<const char*>(pcm_.data()), static_cast<std::streamsize>(pcm_.size() * 2));
        written_ += pcm_.size();
    }

    std::size_t Written() const { return written_; }

private:
    std::ofstream& out_;
    LowPass filter_;
    HighPass coupling_;
    bool coupled_;
    std::size_t skip_;
    std::mt19937 rng_;
    std::normal_distribution<double> gauss_{0.0, 1.0};
    double gain_ = 0;
    std::vector<std::int16_t> pcm_;
    std::size_t written_ = 0;
};

int Usage() {
    std::fputs("usage: tolvane-traffic [--rate HZ] [--snr DB] [--deviation D] [--seed N] [--filter-hz HZ]\n"
               "                       [--rate-error F] [--levels 2|4] [--highpass HZ] [--start-at S]\n"
               "                       [--simulcast US:DB[:HZ]]\n"
               "                       -o OUT.s16 PAGEFILE\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double rate = 22050;
    double snrDb = std::numeric_limits<double>::infinity();
    double deviation = 0.25;
    std::uint32_t seed = 1;
    double filterHz = kFilterHz;
    double rateError = 0;
    int levels = 2;
    double highpassHz = 0;
    double startSeconds = 0;
    double simulcastUs = 0, simulcastDb = std::numeric_limits<double>::infinity(), simulcastHz = 0;
    std::string outPath;
    std::string pagePath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--rate" && hasValue) rate = std::atof(argv[++i]);
        else if (arg == "--snr" && hasValue) snrDb = std::atof(argv[++i]);
        else if (arg == "--deviation" && hasValue) deviation = std::atof(argv[++i]);
        else if (arg == "--seed" && hasValue) seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--filter-hz" && hasValue) filterHz = std::atof(argv[++i]);
        else if (arg == "--rate-error" && hasValue) rateError = std::atof(argv[++i]);
        else if (arg == "--levels" && hasValue) levels = std::atoi(argv[++i]);
        else if (arg == "--highpass" && hasValue) highpassHz = std::atof(argv[++i]);
        else if (arg == "--start-at" && hasValue) startSeconds = std::atof(argv[++i]);
        else if (arg == "--simulcast" && hasValue) {
            if (std::sscanf(argv[++i], "%lf:%lf:%lf", &simulcastUs, &simulcastDb, &simulcastHz) < 2) return Usage();
        } else if (arg == "-o" && hasValue) outPath = argv[++i];
        else if (!arg.empty() && arg[0] != '-' && pagePath.empty()) pagePath = arg;
        else return Usage();
    }
    if (outPath.empty() || pagePath.empty() || rate < 8000 || deviation <= 0 || deviation > 1 ||
        filterHz <= 0 || filterHz > 0.45 * rate || std::abs(rateError) > 0.1 || (levels != 2 && levels != 4) ||
        highpassHz < 0 || highpassHz > 2000 || startSeconds < 0 || simulcastUs < 0 || simulcastUs > 10000)
        return Usage();

    std::ifstream pages(pagePath);
    if (!pages) {
        std::fprintf(stderr, "tolvane-traffic: cannot read %s\n", pagePath.c_str());
        return 1;
    }
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::fprintf(stderr, "tolvane-traffic: cannot write %s\n", outPath.c_str());
        return 1;
    }
    const double noiseRms = std::isfinite(snrDb) ? deviation / std::pow(10.0, snrDb / 20.0) : 0.0;
    NoisyWriter writer(out, rate, filterHz, noiseRms, seed, highpassHz, startSeconds);

    AudioOptions audio;
    audio.sampleRate = rate;
    audio.deviation = deviation;
    audio.filterHz = filterHz;
    audio.rateError = rateError;
    audio.levels = levels;
    audio.leadSeconds = 0;  // gaps come from the page file
    audio.simulcastDelayUs = simulcastUs;
    audio.simulcastDb = simulcastDb;
    audio.simulcastOffsetHz = simulcastHz;
    EncodeOptions encode;
    encode.seed = seed;

    std::vector<PageDescription> group;
    std::string error;
    auto flush = [&]() -> bool {
        if (group.empty()) return true;
        SymbolStream stream;
        if (!FindProtocol(group.front().protocol)->encode(group, encode, stream, error)) return false;
        writer.Write(SymbolsToAudio(stream, audio));
        group.clear();
        return true;
    };

    std::string line;
    int lineNumber = 0;
    while (std::getline(pages, line)) {
        ++lineNumber;
        PageDescription page;
        bool ok = true;
        if (line.empty()) {
            ok = flush();
        } else if (line.rfind("gap ", 0) == 0) {
            const double seconds = std::atof(line.c_str() + 4);
            ok = flush();
            if (ok && seconds > 0)
                writer.Write(std::vector<float>(static_cast<std::size_t>(seconds * rate), 0.0f));
        } else if (!ParsePageDescription(line, page, error) || FindProtocol(page.protocol) == nullptr) {
            if (error.empty()) error = "unknown protocol";
            ok = false;
        } else {
            if (!group.empty() && (group.front().protocol != page.protocol || group.front().rate != page.rate))
                ok = flush();
            group.push_back(std::move(page));
        }
        if (!ok) {
            std::fprintf(stderr, "tolvane-traffic: %s:%d: %s\n", pagePath.c_str(), lineNumber, error.c_str());
            return 1;
        }
    }
    if (!flush()) {
        std::fprintf(stderr, "tolvane-traffic: %s\n", error.c_str());
        return 1;
    }
    out.close();
    if (!out) {
        std::fprintf(stderr, "tolvane-traffic: write to %s failed\n", outPath.c_str());
        return 1;
    }
    std::printf("%.3f\n", static_cast<double>(writer.Written()) / rate);
    return 0;
}
