#include "receiver/iq/band_spectrum.h"

#include <liquid/liquid.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr double kAverageSeconds = 0.2;
constexpr double kPictureSeconds = 0.05;
constexpr double kBinHz = 600;
constexpr std::size_t kMinBins = 64;
constexpr std::size_t kMaxBins = 1u << 16;
// One transform in this many blocks of `bins` samples: a carrier lasts far
// longer than the gaps, and the picture costs a quarter of the time (the
// transform of 4096 points costs more than a channel's filters would).
constexpr std::size_t kBlocksPerTransform = 4;

}  // namespace

std::size_t BandSpectrum::BinsFor(double sampleRate) {
    const double wanted = std::clamp(sampleRate / kBinHz, static_cast<double>(kMinBins), static_cast<double>(kMaxBins));
    return std::bit_ceil(static_cast<std::size_t>(wanted));
}

BandSpectrum::BandSpectrum(double sampleRate, double centreHz, std::size_t bins)
    : sampleRate_(sampleRate), centreHz_(centreHz), bins_(bins), stride_(bins * kBlocksPerTransform) {
    if (bins < kMinBins || !std::has_single_bit(bins)) throw std::invalid_argument("spectrum size not a power of two");
    const double perSecond = sampleRate / static_cast<double>(stride_);
    alpha_ = static_cast<float>(std::min(1.0, 1.0 / (kAverageSeconds * perSecond)));
    publishEvery_ = std::max<std::size_t>(1, static_cast<std::size_t>(kPictureSeconds * perSecond));
    // Blackman-Harris: a carrier 30 dB above its neighbours keeps its skirts
    // out of their bins.
    window_.resize(bins);
    double sum = 0;
    for (std::size_t i = 0; i < bins; ++i) {
        window_[i] = liquid_blackmanharris(static_cast<unsigned>(i), static_cast<unsigned>(bins));
        sum += window_[i];
    }
    // A full-scale carrier in the middle of a bin reads 0 dB.
    for (float& w : window_) w = static_cast<float>(w / sum);
    in_.resize(bins);
    out_.resize(bins);
    plan_ = fft_create_plan(static_cast<unsigned>(bins), in_.data(), out_.data(), LIQUID_FFT_FORWARD, 0);
    if (plan_ == nullptr) throw std::runtime_error("cannot set up the band's spectrum");
    average_.assign(bins, 0.0f);
    peak_.assign(bins, 0.0f);
    pictureAverage_.assign(bins, 0.0f);
}

BandSpectrum::~BandSpectrum() { fft_destroy_plan(static_cast<fftplan>(plan_)); }

void BandSpectrum::Process(std::span<const std::complex<float>> samples) {
    samples_ += samples.size();
    const std::size_t half = bins_ / 2;
    for (std::size_t at = 0; at < samples.size();) {
        if (skip_ > 0) {
            const std::size_t passed = std::min(skip_, samples.size() - at);
            skip_ -= passed;
            at += passed;
            continue;
        }
        const std::size_t taken = std::min(bins_ - filled_, samples.size() - at);
        for (std::size_t i = 0; i < taken; ++i) in_[filled_ + i] = samples[at + i] * window_[filled_ + i];
        filled_ += taken;
        at += taken;
        if (filled_ < bins_) break;
        filled_ = 0;
        skip_ = stride_ - bins_;
        fft_execute(static_cast<fftplan>(plan_));
        // Until one average's worth is in, every transform counts alike, so
        // that the first transforms' noise does not stand out in the peaks.
        ++transforms_;
        const float weight = std::max(alpha_, 1.0f / static_cast<float>(transforms_));
        const bool settled = weight <= alpha_;
        for (std::size_t i = 0; i < bins_; ++i) {
            // Bin i of the picture is the transform's bin i - half (mod bins).
            const float power = std::norm(out_[(i + half) & (bins_ - 1)]);
            float& mean = average_[i];
            mean += weight * (power - mean);
            if (settled) peak_[i] = std::max(peak_[i], mean);
        }
        if (transforms_ % publishEvery_ == 0) Publish();
    }
}

void BandSpectrum::SetChannels(std::span<const double> offsetsHz, double errorPpm, bool estimated) {
    channels_.assign(offsetsHz.begin(), offsetsHz.end());
    errorPpm_ = errorPpm;
    estimated_ = estimated;
    Publish();
}

void BandSpectrum::Publish() {
    std::unique_lock lock(published_, std::try_to_lock);
    if (!lock.owns_lock()) return;  // a client is copying: the next picture will do
    std::copy(average_.begin(), average_.end(), pictureAverage_.begin());
    pictureChannels_.assign(channels_.begin(), channels_.end());
    pictureErrorPpm_ = errorPpm_;
    pictureEstimated_ = estimated_;
    havePicture_ = havePicture_ || transforms_ > 0;
}

bool BandSpectrum::Snapshot(BandView& view) const {
    std::lock_guard lock(published_);
    if (!havePicture_) return false;
    view.centreHz = centreHz_;
    view.sampleRate = sampleRate_;
    view.db.resize(bins_);
    for (std::size_t i = 0; i < bins_; ++i)
        view.db[i] = 10.0f * std::log10(std::max(pictureAverage_[i], 1e-20f));
    view.channelOffsetsHz = pictureChannels_;
    view.errorPpm = pictureErrorPpm_;
    view.errorEstimated = pictureEstimated_;
    return true;
}

}  // namespace tolvane
