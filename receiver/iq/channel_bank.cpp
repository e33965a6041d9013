#include "receiver/iq/channel_bank.h"

#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr double kOuterDeviationHz = 4800;
constexpr float kOuterAudio = 0.5f;  // the slicer's discriminator audio at the outer deviation
// The band a channel keeps: FLEX 6400's +-8 kHz and a carrier up to 2 kHz
// off before the fine tuning has it; rejected from where a neighbour 25 kHz
// away begins.
constexpr double kPassHz = 10000;
constexpr double kStopHz = 14500;
constexpr float kStopDb = 60;
// Stage-1 output rate at least this; the audio rate at least half of it.
constexpr double kStage1Rate = 96000;
constexpr double kAudioRate = 24000;
// Fine tuning. A transmission starts with a balanced bit sync (POCSAG's
// and FLEX's 1010..., GSC's dotting), so over its first 70 ms the mean
// frequency heard is the carrier. After that the mean is not: GSC idles on
// its lower level for seconds before it ends and pads its data with zeros,
// numeric POCSAG and long FLEX messages lean to one level, 4-level FLEX
// leaves levels out for seconds; each pulled the mean 1..3 kHz off a
// carrier that had not moved, GSC's idle to the end of the range. So the
// tuning then follows the midpoint of the two outer levels, each the mean
// of the frequencies (smoothed over half a symbol at 3200 baud) that lie
// beyond 0.7 of the way out to it. How often each level is sent does not
// move the midpoint, a level that is not sent stays where it was, and
// 4-level FLEX's inner levels and an unmodulated carrier fall short of
// 0.7. Unlike holding what the start found, it follows a carrier that
// drifts while FLEX sends for hours, and recovers when the squelch opens
// in the middle of a transmission: the levels keep no further apart than
// a transmitter's deviation allows, so one level heard pulls the other.
constexpr double kAfcAcquirePeriod = 0.07;
constexpr double kLevelSeconds = 0.1;
constexpr double kLevelSmoothingSeconds = 1 / 6400.0;
constexpr double kInsideShare = 0.7;
constexpr double kNarrowestSpanHz = kOuterDeviationHz;  // from the lower level to the upper
constexpr double kWidestSpanHz = 2.2 * kOuterDeviationHz;

// Four lanes, which every x86-64 and ARM64 unit has.
using Lanes = float __attribute__((vector_size(16)));

inline Lanes Load(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline float Sum(Lanes v) { return (v[0] + v[1]) + (v[2] + v[3]); }

std::size_t KaiserLength(double transition, double stopDb) {
    return static_cast<std::size_t>(std::ceil((stopDb - 8.0) / (14.36 * transition))) + 1;
}

}  // namespace

// One channel behind the shared stage-1 input.
class IqChannel {
public:
    IqChannel(const BankOptions& options, const ChannelTuning& tuning, std::size_t taps, std::size_t decim1,
              std::size_t decim2, double audioRate)
        : options_(options),
          nominalHz_(tuning.offsetHz),
          decim1_(decim1),
          decim2_(decim2) {
        const double rate1 = options.sampleRate / static_cast<double>(decim1);
        // Stage 1: pass the channel, reject what would fold into it.
        prototype_.assign(taps, 0.0f);
        const std::size_t used = KaiserLength((rate1 - kStopHz - kPassHz) / options.sampleRate, kStopDb);
        const std::size_t length = std::min(taps, std::max<std::size_t>(used, 8));
        const double cutoff = (kPassHz + (rate1 - kStopHz - kPassHz) / 2) / options.sampleRate;
        liquid_firdes_kaiser(static_cast<unsigned>(length), static_cast<float>(cutoff), kStopDb, 0.0f,
                             prototype_.data() + (taps - length));
        NormaliseGain(prototype_);
        tapsRe_.assign(taps, 0.0f);
        tapsIm_.assign(taps, 0.0f);
        // Stage 2: the channel filter.
        const std::size_t length2 = KaiserLength((kStopHz - kPassHz) / rate1, kStopDb) | 1u;
        std::vector<float> h2(length2);
        liquid_firdes_kaiser(static_cast<unsigned>(length2), static_cast<float>((kPassHz + kStopHz) / 2 / rate1),
                             kStopDb, 0.0f, h2.data());
        NormaliseGain(h2);
        decimator_ = firdecim_crcf_create(static_cast<unsigned>(decim2), h2.data(), static_cast<unsigned>(length2));
        rotator_ = nco_crcf_create(LIQUID_VCO);
        demodulator_ = freqdem_create(static_cast<float>(kOuterDeviationHz / kOuterAudio / audioRate));
        if (decimator_ == nullptr || rotator_ == nullptr || demodulator_ == nullptr)
            throw std::runtime_error("cannot set up a channel filter");
        pending_.resize(decim2);
        const std::size_t perBlock = options.maxBlock / (decim1 * decim2) + 2;
        audio_.resize(perBlock);
        window_ = std::max<std::size_t>(8, static_cast<std::size_t>(options.squelchSeconds * audioRate));
        power_.assign(window_, 0.0);
        delayed_.assign(window_, 0.0f);
        delayedHz_.assign(window_, 0.0f);
        smoothed_.assign(std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(kLevelSmoothingSeconds * audioRate))),
                         0.0);
        acquireSamples_ = static_cast<std::size_t>(kAfcAcquirePeriod * audioRate);
        levelAlpha_ = 1 / (kLevelSeconds * audioRate);
        SlicerOptions slicing = tuning.slicer;
        slicing.sampleRate = audioRate;
        slicer_ = std::make_unique<AudioSlicer>(slicing);
        edges_.reserve(4096);
        Retune(0);
    }

    ~IqChannel() {
        firdecim_crcf_destroy(decimator_);
        nco_crcf_destroy(rotator_);
        freqdem_destroy(demodulator_);
    }

    IqChannel(const IqChannel&) = delete;
    IqChannel& operator=(const IqChannel&) = delete;

    // Stage-1 outputs for every newest-sample index in [first, end) stepping
    // by decim1 over the shared split buffers.
    void Run(const float* re, const float* im, std::size_t first, std::size_t end) {
        const std::size_t taps = tapsRe_.size();
        std::size_t produced = 0;
        for (std::size_t j = first; j < end; j += decim1_) {
            const float* xr = re + (j + 1 - taps);
            const float* xi = im + (j + 1 - taps);
            // Two sets of sums, so that the additions do not wait on each other.
            Lanes ar{}, ai{}, br{}, bi{}, ar2{}, ai2{}, br2{}, bi2{};
            const float* hr = tapsRe_.data();
            const float* hi = tapsIm_.data();
            for (std::size_t t = 0; t < taps; t += 8) {
                const Lanes r = Load(xr + t), i = Load(xi + t), cr = Load(hr + t), ci = Load(hi + t);
                const Lanes r2 = Load(xr + t + 4), i2 = Load(xi + t + 4), cr2 = Load(hr + t + 4),
                            ci2 = Load(hi + t + 4);
                ar += cr * r;
                br += ci * i;
                ai += cr * i;
                bi += ci * r;
                ar2 += cr2 * r2;
                br2 += ci2 * i2;
                ai2 += cr2 * i2;
                bi2 += ci2 * r2;
            }
            ar += ar2;
            br += br2;
            ai += ai2;
            bi += bi2;
            const std::complex<float> y(Sum(ar - br), Sum(ai + bi));
            std::complex<float> z;
            nco_crcf_mix_down(rotator_, y, &z);
            nco_crcf_step(rotator_);
            pending_[pendingCount_++] = z;
            if (pendingCount_ == decim2_) {
                pendingCount_ = 0;
                std::complex<float> w;
                firdecim_crcf_execute(decimator_, pending_.data(), &w);
                audio_[produced++] = Demodulate(w);
            }
        }
        audioCount_ = produced;
        slicer_->process(std::span<const float>(audio_.data(), produced), edges_);
        FollowCarrier();
    }

    void Flush() { slicer_->Flush(edges_); }
    AudioSlicer& Slicer() { return *slicer_; }

    void Shift(double hz) {
        nominalHz_ += hz;
        for (float& heard : delayedHz_) heard = static_cast<float>(heard - hz);
        carrierHz_ = 0;
        openSamples_ = 0;
        Retune(0);
    }

    std::vector<EdgeEntry>& Edges() { return edges_; }
    std::span<const float> Audio() const { return {audio_.data(), audioCount_}; }
    bool Open() const { return open_; }
    double TuningHz() const { return afcHz_; }
    double CarrierDb() const {
        const double mean = powerSum_ / static_cast<double>(window_);
        return mean > 1e-20 ? 10 * std::log10(mean) : -200;
    }

private:
    static void NormaliseGain(std::vector<float>& h) {
        double sum = 0;
        for (float v : h) sum += v;
        if (sum != 0)
            for (float& v : h) v = static_cast<float>(v / sum);
    }

    // Tunes to the channel's frequency plus `afcHz`: the stage-1 taps take
    // the shift (newest sample at index taps-1), the rotator the rest.
    void Retune(double afcHz) {
        afcHz_ = afcHz;
        const double omega = 2 * std::numbers::pi * (nominalHz_ + afcHz) / options_.sampleRate;
        const std::size_t taps = prototype_.size();
        for (std::size_t t = 0; t < taps; ++t) {
            const double k = static_cast<double>(taps - 1 - t);  // age of the sample this tap meets
            tapsRe_[t] = static_cast<float>(prototype_[t] * std::cos(omega * k));
            tapsIm_[t] = static_cast<float>(prototype_[t] * std::sin(omega * k));
        }
        double step = std::remainder(omega * static_cast<double>(decim1_), 2 * std::numbers::pi);
        nco_crcf_set_frequency(rotator_, static_cast<float>(step));
    }

    float Demodulate(std::complex<float> w) {
        const double p = static_cast<double>(std::norm(w));
        powerSum_ += p - power_[slot_];
        squareSum_ += p * p - power_[slot_] * power_[slot_];
        power_[slot_] = p;
        float m = 0;
        freqdem_demodulate(demodulator_, w, &m);
        const float out = delayed_[slot_];
        const double heardHz = delayedHz_[slot_];
        delayed_[slot_] = m;
        // From the channel's frequency, whatever the tuning when it was heard.
        delayedHz_[slot_] = static_cast<float>(static_cast<double>(m) * kOuterDeviationHz / kOuterAudio + afcHz_);
        slot_ = slot_ + 1 == window_ ? 0 : slot_ + 1;

        const double n = static_cast<double>(window_);
        const double mean = powerSum_ / n;
        const double spread = mean > 1e-30 ? std::max(0.0, squareSum_ / n / (mean * mean) - 1) : 1.0;
        if (open_ && spread > options_.squelchClose) {
            open_ = false;
        } else if (!open_ && spread < options_.squelchOpen && mean > 1e-12) {
            open_ = true;
            openSamples_ = 0;
        }
        if (!open_) return 0.0f;
        FollowLevels(heardHz);
        return std::clamp(out, -1.0f, 1.0f);
    }

    // Per open sample: where the carrier is, from the frequency heard.
    void FollowLevels(double hz) {
        smoothedSum_ += hz - smoothed_[smoothedSlot_];
        smoothed_[smoothedSlot_] = hz;
        smoothedSlot_ = smoothedSlot_ + 1 == smoothed_.size() ? 0 : smoothedSlot_ + 1;
        if (openSamples_ < acquireSamples_) {
            acquiredSum_ = openSamples_ == 0 ? hz : acquiredSum_ + hz;
            carrierHz_ = acquiredSum_ / static_cast<double>(++openSamples_);
            upperHz_ = carrierHz_ + kOuterDeviationHz;
            lowerHz_ = carrierHz_ - kOuterDeviationHz;
            return;
        }
        ++openSamples_;
        const double y = smoothedSum_ / static_cast<double>(smoothed_.size());
        const double half = (upperHz_ - lowerHz_) / 2;
        const double away = y - carrierHz_;
        if (std::fabs(away) <= kInsideShare * half) return;
        double& level = away > 0 ? upperHz_ : lowerHz_;
        level += (std::clamp(y, carrierHz_ - 2 * half, carrierHz_ + 2 * half) - level) * levelAlpha_;
        // The other level keeps within the deviations a transmitter uses.
        const double span = std::clamp(upperHz_ - lowerHz_, kNarrowestSpanHz, kWidestSpanHz);
        if (away > 0)
            lowerHz_ = upperHz_ - span;
        else
            upperHz_ = lowerHz_ + span;
        carrierHz_ = (upperHz_ + lowerHz_) / 2;
    }

    // Once a block: moves the tuning to the carrier, in steps of at least 20 Hz.
    void FollowCarrier() {
        if (!open_ || openSamples_ < window_) return;
        const double wanted = std::clamp(carrierHz_, -options_.afcRangeHz, options_.afcRangeHz);
        if (std::fabs(wanted - afcHz_) < 20) return;
        Retune(wanted);
    }

    BankOptions options_;
    double nominalHz_;
    std::size_t decim1_, decim2_;
    std::vector<float> prototype_;
    std::vector<float> tapsRe_, tapsIm_;
    firdecim_crcf decimator_ = nullptr;
    nco_crcf rotator_ = nullptr;
    freqdem demodulator_ = nullptr;
    std::vector<std::complex<float>> pending_;
    std::size_t pendingCount_ = 0;
    std::vector<float> audio_;
    std::size_t audioCount_ = 0;
    // Squelch window: the power of the last samples and the delayed audio.
    std::size_t window_ = 0;
    std::vector<double> power_;
    std::vector<float> delayed_;
    std::vector<float> delayedHz_;  // the frequency each delayed sample was heard at
    std::size_t slot_ = 0;
    double powerSum_ = 0, squareSum_ = 0;
    bool open_ = false;
    std::size_t openSamples_ = 0;
    double afcHz_ = 0;  // the tuning, from the channel's frequency
    // The carrier and its outer levels, from the channel's frequency, and
    // the frequencies heard, smoothed over a symbol.
    double carrierHz_ = 0, upperHz_ = kOuterDeviationHz, lowerHz_ = -kOuterDeviationHz;
    std::size_t acquireSamples_ = 0;
    double acquiredSum_ = 0, levelAlpha_ = 0;
    std::vector<double> smoothed_;
    std::size_t smoothedSlot_ = 0;
    double smoothedSum_ = 0;
    std::unique_ptr<AudioSlicer> slicer_;
    std::vector<EdgeEntry> edges_;
};

ChannelBank::ChannelBank(const BankOptions& options, const std::vector<ChannelTuning>& channels) : options_(options) {
    if (!(options.sampleRate >= kMinIqSampleRate)) throw std::invalid_argument("IQ sample rate too low");
    decim1_ = std::max<std::size_t>(1, static_cast<std::size_t>(options.sampleRate / kStage1Rate));
    const double rate1 = options.sampleRate / static_cast<double>(decim1_);
    decim2_ = std::max<std::size_t>(2, static_cast<std::size_t>(rate1 / kAudioRate));
    audioRate_ = rate1 / static_cast<double>(decim2_);
    const std::size_t length = KaiserLength((rate1 - kStopHz - kPassHz) / options.sampleRate, kStopDb);
    taps_ = (std::max<std::size_t>(length, 8) + 7) / 8 * 8;
    re_.assign(taps_ - 1 + options.maxBlock, 0.0f);
    im_.assign(taps_ - 1 + options.maxBlock, 0.0f);
    next_ = taps_ - 1 + decim1_ - 1;
    for (const ChannelTuning& tuning : channels)
        channels_.push_back(std::make_unique<IqChannel>(options, tuning, taps_, decim1_, decim2_, audioRate_));
}

ChannelBank::~ChannelBank() = default;

void ChannelBank::Process(std::span<const std::complex<float>> samples) {
    const std::size_t history = taps_ - 1;
    std::size_t done = 0;
    while (done < samples.size()) {
        const std::size_t count = std::min(samples.size() - done, options_.maxBlock);
        for (std::size_t i = 0; i < count; ++i) {
            re_[history + i] = samples[done + i].real();
            im_[history + i] = samples[done + i].imag();
        }
        const std::size_t end = history + count;
        for (auto& channel : channels_) channel->Run(re_.data(), im_.data(), next_, end);
        std::size_t next = next_;
        while (next < end) next += decim1_;
        // Keep the newest `history` samples in front for the next block.
        std::memmove(re_.data(), re_.data() + count, history * sizeof(float));
        std::memmove(im_.data(), im_.data() + count, history * sizeof(float));
        next_ = next - count;
        done += count;
    }
}

void ChannelBank::Flush() {
    for (auto& channel : channels_) channel->Flush();
}

void ChannelBank::Shift(double hz) {
    for (auto& channel : channels_) channel->Shift(hz);
}

std::vector<EdgeEntry>& ChannelBank::Edges(std::size_t channel) { return channels_.at(channel)->Edges(); }
AudioSlicer& ChannelBank::Slicer(std::size_t channel) { return channels_.at(channel)->Slicer(); }
bool ChannelBank::SquelchOpen(std::size_t channel) const { return channels_.at(channel)->Open(); }
double ChannelBank::TuningOffsetHz(std::size_t channel) const { return channels_.at(channel)->TuningHz(); }
double ChannelBank::CarrierDb(std::size_t channel) const { return channels_.at(channel)->CarrierDb(); }
std::span<const float> ChannelBank::LastAudio(std::size_t channel) const { return channels_.at(channel)->Audio(); }

}  // namespace tolvane
