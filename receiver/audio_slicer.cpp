#include "receiver/audio_slicer.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

namespace {

constexpr std::uint64_t kMaxDuration = 0xFFFF;
constexpr double kThird = 1.0 / 3.0;
// The share of ambiguous edges is averaged over about 32 edges.
constexpr double kAmbiguityAlpha = 1.0 / 32;

double SmoothingFactor(double seconds, double sampleRate) {
    if (seconds <= 0) return 1.0;
    return 1.0 - std::exp(-1.0 / (seconds * sampleRate));
}

}  // namespace

AudioSlicer::AudioSlicer(const SlicerOptions& options) : options_(options) {
    if (!(options_.sampleRate > 0)) options_.sampleRate = 22050;
    if (!(options_.maxSymbolRate > 0)) options_.maxSymbolRate = 3200;
    ticksPerSample_ = 1.0 / (options_.sampleRate * kTickSeconds);
    levelAlpha_ = SmoothingFactor(options_.levelSeconds, options_.sampleRate);
    driftAlpha_ = SmoothingFactor(options_.driftSeconds, options_.sampleRate);
    driftHoldSamples_ = options_.driftHoldSeconds * options_.sampleRate;
    const long length = std::lround(options_.averaging * options_.sampleRate / options_.maxSymbolRate);
    window_.assign(static_cast<std::size_t>(std::clamp(length, 1L, 4096L)), 0.0f);
    inverseLength_ = 1.0 / static_cast<double>(window_.size());
    const double decisionLength = static_cast<double>(window_.size());
    if (!options_.fourLevel && options_.timingRate > options_.maxSymbolRate) {
        const long timingLength = std::lround(options_.sampleRate / options_.timingRate);
        timingSamples_.assign(static_cast<std::size_t>(std::clamp(timingLength, 1L, 4096L)), 0.0f);
        const double timingSize = static_cast<double>(timingSamples_.size());
        if (timingSize < decisionLength) {
            timingInverse_ = 1.0 / timingSize;
            timingDelay_ = (decisionLength - timingSize) / 2;
            timingReach_ = options_.timingWindow * decisionLength;
        } else {
            timingSamples_.clear();
        }
    }
    reset();
}

void AudioSlicer::reset() {
    std::fill(window_.begin(), window_.end(), 0.0f);
    windowPos_ = 0;
    windowSum_ = 0;
    centre_ = 0;
    amplitude_ = 0;
    for (double& m : means_) m = 0;
    previous_ = 0;
    sampleIndex_ = 0;
    level_ = 0;
    lastEdgeSample_ = 0;
    for (int j = 0; j < 3; ++j) crossUp_[j] = crossDown_[j] = 0;
    emittedTicks_ = 0;
    std::fill(timingSamples_.begin(), timingSamples_.end(), 0.0f);
    timingPos_ = 0;
    timingSum_ = 0;
    timingPrevious_ = 0;
    for (int k = 0; k < kTimingCrossings; ++k) {
        timingCross_[k] = -1;
        timingDirection_[k] = 0;
    }
    timingNext_ = 0;
    ambiguous_ = 0;
}

std::uint8_t AudioSlicer::LineState(int level) const {
    static constexpr std::uint8_t kFourLevel[4] = {0, kLineCTS, kLineCTS | kLineDSR, kLineCTS | kLineDSR | kLineDCD};
    if (options_.fourLevel) return kFourLevel[level & 3];
    return level != 0 ? kLineDCD : 0;
}

void AudioSlicer::Emit(double atSample, int newLevel, std::vector<EdgeEntry>& out) {
    lastEdgeSample_ = atSample;
    const auto at = static_cast<std::uint64_t>(std::llround(std::max(0.0, atSample) * ticksPerSample_));
    if (at > emittedTicks_) {
        AppendRunTo(out, at - emittedTicks_, LineState(level_));
        emittedTicks_ = at;
    }
    level_ = newLevel;
}

void AudioSlicer::AppendRunTo(std::vector<EdgeEntry>& out, std::uint64_t ticks, std::uint8_t state) {
    while (ticks > 0) {
        const auto part = static_cast<std::uint16_t>(std::min(ticks, kMaxDuration));
        out.push_back({part, state});
        ticks -= part;
    }
}

void AudioSlicer::Fit() {
    if (options_.fourLevel) {
        // Least squares for levels at centre + amplitude * {-1, -1/3, 1/3, 1}.
        centre_ = (means_[0] + means_[1] + means_[2] + means_[3]) * 0.25;
        amplitude_ = (means_[3] - means_[0] + (means_[2] - means_[1]) * kThird) * 0.45;
    } else {
        centre_ = (means_[0] + means_[1]) * 0.5;
        amplitude_ = (means_[1] - means_[0]) * 0.5;
    }
    if (amplitude_ < 0) amplitude_ = 0;
}

double AudioSlicer::EdgeTime(double crossing, int direction, double lastEdge, double now) {
    if (timingSamples_.empty()) return crossing;
    int near = 0;
    int chosen = 0;
    for (int k = 0; k < kTimingCrossings; ++k) {
        const double t = timingCross_[k];
        if (t <= lastEdge || std::abs(t - crossing) > timingReach_) continue;
        ++near;
        chosen = k;
    }
    // One clean crossing the same way: the precise time. None, or several
    // (noise around the edge): the decision filter's.
    const bool clean = near == 1 && timingDirection_[chosen] == direction;
    ambiguous_ += kAmbiguityAlpha * ((clean ? 0.0 : 1.0) - ambiguous_);
    if (!clean || ambiguous_ > options_.timingGiveUp) return crossing;
    return std::min(timingCross_[chosen], now);
}

void AudioSlicer::Step(float sample, std::vector<EdgeEntry>& out) {
    if (sampleIndex_ == 0) {
        // Start as if the first sample had always been there: a constant
        // input must not look like a step from zero.
        std::fill(window_.begin(), window_.end(), sample);
        windowSum_ = static_cast<double>(sample) * static_cast<double>(window_.size());
        centre_ = previous_ = sample;
        amplitude_ = 0;
        for (double& m : means_) m = sample;
        std::fill(timingSamples_.begin(), timingSamples_.end(), sample);
        timingSum_ = static_cast<double>(sample) * static_cast<double>(timingSamples_.size());
        timingPrevious_ = sample;
    }
    // 1. Moving average.
    windowSum_ += static_cast<double>(sample) - window_[windowPos_];
    window_[windowPos_] = sample;
    if (++windowPos_ == window_.size()) windowPos_ = 0;
    const double y = windowSum_ * inverseLength_;
    const double n = static_cast<double>(sampleIndex_);

    // 2. Envelope. Thresholds come from the levels before this sample.
    const double a = amplitude_;
    double thresholds[3];
    int count = 1;
    double spacing = a;
    int nearest;
    if (options_.fourLevel) {
        count = 3;
        spacing = a * kThird;
        thresholds[0] = centre_ - 2 * spacing;
        thresholds[1] = centre_;
        thresholds[2] = centre_ + 2 * spacing;
        nearest = y > thresholds[2] ? 3 : y > thresholds[1] ? 2 : y > thresholds[0] ? 1 : 0;
    } else {
        thresholds[0] = centre_;
        nearest = y > centre_ ? 1 : 0;
    }
    // The nearest level moves toward the sample; all levels shift slowly
    // with the signal around the centre, which follows a DC shift without
    // changing their spacing.
    // Samples on their way between levels would pull a level toward the
    // middle by an amount that depends on the data; only settled samples
    // (close to the level) and samples beyond the outer levels, which
    // also widen a span that is still being learnt, count.
    const double distance = y - means_[nearest];
    const bool outside = (nearest == count && distance > 0) || (nearest == 0 && distance < 0);
    if (outside || std::abs(distance) < 0.5 * spacing) means_[nearest] += levelAlpha_ * distance;
    const bool moving = n - lastEdgeSample_ < driftHoldSamples_;
    const double shift = moving ? driftAlpha_ * (y - centre_) : 0.0;
    for (int j = 0; j <= count; ++j) means_[j] += shift;
    if (options_.fourLevel && moving) {
        // Inner levels stay near where the outer ones put them while they
        // are not sent (FLEX syncs on the outer levels only).
        means_[1] += driftAlpha_ * (centre_ - spacing - means_[1]);
        means_[2] += driftAlpha_ * (centre_ + spacing - means_[2]);
    }
    Fit();
    const double span = 2 * a;

    // 4. Remember where the signal last crossed each threshold, between the
    // previous sample (n - 1) and this one.
    for (int j = 0; j < count; ++j) {
        const double t = thresholds[j];
        if (previous_ <= t && y > t) {
            crossUp_[j] = n - 1 + (t - previous_) / (y - previous_);
        } else if (previous_ >= t && y < t) {
            crossDown_[j] = n - 1 + (previous_ - t) / (previous_ - y);
        }
    }
    previous_ = y;
    if (!timingSamples_.empty()) {
        timingSum_ += static_cast<double>(sample) - timingSamples_[timingPos_];
        timingSamples_[timingPos_] = sample;
        if (++timingPos_ == timingSamples_.size()) timingPos_ = 0;
        const double z = timingSum_ * timingInverse_;
        const double t = thresholds[0];
        int direction = 0;
        double at = 0;
        if (timingPrevious_ <= t && z > t) {
            direction = 1;
            at = (t - timingPrevious_) / (z - timingPrevious_);
        } else if (timingPrevious_ >= t && z < t) {
            direction = -1;
            at = (timingPrevious_ - t) / (timingPrevious_ - z);
        }
        if (direction != 0) {
            timingCross_[timingNext_] = n - 1 + at + timingDelay_;
            timingDirection_[timingNext_] = direction;
            timingNext_ = (timingNext_ + 1) % kTimingCrossings;
        }
        timingPrevious_ = z;
    }

    // 3. Decision with hysteresis; silence decides nothing.
    if (span >= options_.squelchSpan) {
        const double band = options_.hysteresis * spacing;
        const double lastEdge = lastEdgeSample_;
        if (options_.fourLevel) {
            while (level_ < 3 && y > thresholds[level_] + band) {
                const double at = crossUp_[level_] >= lastEdge ? crossUp_[level_] : n;
                Emit(at, level_ + 1, out);
            }
            while (level_ > 0 && y < thresholds[level_ - 1] - band) {
                const double at = crossDown_[level_ - 1] >= lastEdge ? crossDown_[level_ - 1] : n;
                Emit(at, level_ - 1, out);
            }
        } else if (level_ == 0 && y > thresholds[0] + band) {
            Emit(EdgeTime(crossUp_[0] >= lastEdge ? crossUp_[0] : n, 1, lastEdge, n), 3, out);
        } else if (level_ != 0 && y < thresholds[0] - band) {
            Emit(EdgeTime(crossDown_[0] >= lastEdge ? crossDown_[0] : n, -1, lastEdge, n), 0, out);
        }
    }

    // Long steady states leave in pieces as they happen.
    ++sampleIndex_;
    const double now = static_cast<double>(sampleIndex_) * ticksPerSample_;
    if (now - static_cast<double>(emittedTicks_) >= static_cast<double>(kMaxDuration)) {
        out.push_back({static_cast<std::uint16_t>(kMaxDuration), LineState(level_)});
        emittedTicks_ += kMaxDuration;
    }
}

void AudioSlicer::process(std::span<const float> samples, std::vector<EdgeEntry>& out) {
    // A float file can hold anything: one NaN or huge sample would stay in
    // the running sums and level means for good. Not a number is silence,
    // anything beyond full scale is clipped to it, as a 16-bit input would be.
    for (const float s : samples) Step(std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f, out);
}

void AudioSlicer::process(std::span<const std::int16_t> samples, std::vector<EdgeEntry>& out) {
    for (const std::int16_t s : samples) Step(static_cast<float>(s) * (1.0f / 32768.0f), out);
}

void AudioSlicer::Flush(std::vector<EdgeEntry>& out) {
    const auto end = static_cast<std::uint64_t>(std::llround(static_cast<double>(sampleIndex_) * ticksPerSample_));
    if (end > emittedTicks_) {
        AppendRunTo(out, end - emittedTicks_, LineState(level_));
        emittedTicks_ = end;
    }
}

}  // namespace tolvane
