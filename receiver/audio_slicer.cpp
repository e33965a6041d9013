#include "receiver/audio_slicer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "receiver/edge_codec.h"

namespace tolvane {

namespace {

constexpr std::uint64_t kMaxDuration = 0xFFFF;
constexpr double kThird = 1.0 / 3.0;
// After a pause, an inner level that has counted no settled sample for
// this long is not being sent yet.
constexpr double kInnerStaleSeconds = 0.01;
constexpr double kAfterPauseSeconds = 0.2;
constexpr double kStartUpSeconds = 2.0;
constexpr double kStartUpPullSeconds = 0.2;
// The share of ambiguous edges is averaged over about 32 edges.
constexpr double kAmbiguityAlpha = 1.0 / 32;
// Corner estimation. Below the floor the sag costs nothing (5 Hz decodes
// every mode untouched), so DC-coupled audio needs its estimate to stay
// below it only; above it an estimate counts once it lies this many
// standard errors clear of the floor, with at least this many runs more
// than the fit has kinds of run, and when the sag it implies over the sums
// seen is this share of the amplitude at least (less does not matter, and
// with so little spread what the runs share would be read as sag).
constexpr double kCornerFloorHz = 3.0;
constexpr double kCornerConfidence = 3.0;
constexpr int kCornerMinRuns = 32;
constexpr double kCornerMinSag = 0.05;
constexpr double kCornerMaxHz = 2000.0;
// A change of the restoration by more than this share moves the levels:
// the runs are measured again once they are learnt.
constexpr double kCornerRelearnShare = 0.1;
// Runs are remembered for about this long; the estimate is brought up to
// date this often.
constexpr double kCornerForgetSeconds = 1.0;
constexpr double kCornerUpdateSeconds = 0.005;
// A span of the levels this many times their average over the last
// kSignalRiseSeconds: a transmission has started.
constexpr double kSignalRise = 1.5;
constexpr double kSignalRiseSeconds = 0.1;
// After a pause or the start, the levels take this long to be learnt.
constexpr double kRelearnSeconds = 0.03;
// A run's samples count from this long after the decision filter has
// crossed into it, and half a symbol more for the receiver's filter to
// settle, until this long before the next change shows in it; a run is
// measured over at most its first 20 ms.
constexpr double kWatchMarginSeconds = 0.1e-3;
constexpr double kWatchSettleSymbols = 0.5;
constexpr double kWatchSpanSeconds = 0.02;
// Symbols are followed as the lower quartile of the run lengths, in steps
// of this share, leaving out runs this many decision lengths short or
// shorter: a 4-level decision passing a level on its way to another.
constexpr double kShortRunStep = 0.05;
constexpr double kTransitLengths = 1.5;

double SmoothingFactor(double seconds, double sampleRate) {
    if (seconds <= 0) return 1.0;
    return 1.0 - std::exp(-1.0 / (seconds * sampleRate));
}

// Whether a transmission has started: `amplitude` above kSignalRise times
// `held`, its recent average, which this follows by `alpha` a call.
bool SignalRose(double amplitude, double& held, double alpha) {
    const bool rose = amplitude > kSignalRise * held;
    if (rose) held = amplitude;
    held += alpha * (amplitude - held);
    return rose;
}

}  // namespace

AudioSlicer::AudioSlicer(const SlicerOptions& options) : options_(options) {
    if (!(options_.sampleRate > 0)) options_.sampleRate = 22050;
    if (!(options_.maxSymbolRate > 0)) options_.maxSymbolRate = 3200;
    ticksPerSample_ = 1.0 / (options_.sampleRate * kTickSeconds);
    levelAlpha_ = SmoothingFactor(options_.levelSeconds, options_.sampleRate);
    driftAlpha_ = SmoothingFactor(options_.driftSeconds, options_.sampleRate);
    startUpAlpha_ = SmoothingFactor(kStartUpPullSeconds, options_.sampleRate);
    startUpSamples_ = kStartUpSeconds * options_.sampleRate;
    driftHoldSamples_ = options_.driftHoldSeconds * options_.sampleRate;
    staleSamples_ = kInnerStaleSeconds * options_.sampleRate;
    afterPauseSamples_ = kAfterPauseSeconds * options_.sampleRate;
    riseSamples_ = kSignalRiseSeconds * options_.sampleRate;
    restoreLeak_ = 1 - SmoothingFactor(options_.restoreLeakSeconds, options_.sampleRate);
    if (options_.highpassCorner > 0 && std::isfinite(options_.highpassCorner)) {
        const double rc = 1 / (2 * std::numbers::pi * options_.highpassCorner);
        SetRestoration(rc / (rc + 1 / options_.sampleRate));
    }
    estimate_ = options_.highpassCorner < 0;
    const long length = std::lround(options_.averaging * options_.sampleRate / options_.maxSymbolRate);
    window_.assign(static_cast<std::size_t>(std::clamp(length, 1L, 4096L)), 0.0f);
    // The long window exceeds the short one by an even count: its extra
    // delay is a whole number of samples.
    const auto fastSize = static_cast<double>(window_.size());
    const long slowLength = static_cast<long>(window_.size()) + 2 * std::lround((options_.slowFactor - 1) * fastSize / 2);
    if (options_.fourLevel && slowLength > static_cast<long>(window_.size())) {
        slow_ = true;
        fastLength_ = window_.size();
        fastInverse_ = 1.0 / static_cast<double>(fastLength_);
        window_.assign(static_cast<std::size_t>(std::min(slowLength, 4096L)), 0.0f);
        slowDelay_ = static_cast<double>(window_.size() - fastLength_) / 2;
    }
    inverseLength_ = 1.0 / static_cast<double>(window_.size());
    if (!options_.fourLevel && options_.secondAveraging > 0 && options_.secondAveraging < options_.averaging) {
        // Shorter by an even count, so that the delay between the two is a
        // whole number of samples.
        const auto size = static_cast<long>(window_.size());
        const long wanted = std::lround(options_.secondAveraging * options_.sampleRate / options_.maxSymbolRate);
        const long shortLength = size - 2 * ((size - std::max(1L, wanted)) / 2);
        if (shortLength < size) {
            shortLength_ = static_cast<std::size_t>(shortLength);
            shortInverse_ = 1.0 / static_cast<double>(shortLength);
            shortDelay_ = static_cast<double>(size - shortLength) / 2;
        }
    }
    decidingLength_ = static_cast<double>(slow_ ? fastLength_ : window_.size());
    watchStart_ = 0.5 * decidingLength_ + kWatchMarginSeconds * options_.sampleRate;
    watchEnd_ = watchStart_;
    const auto span = static_cast<std::size_t>(std::max(2.0, kWatchSpanSeconds * options_.sampleRate));
    runOffsets_.assign(estimate_ ? span : 0, 0.0);
    runSums_.assign(runOffsets_.size(), 0.0);
    decidedSums_.assign(estimate_ ? static_cast<std::size_t>(decidingLength_) : 0, 0.0);
    relearnSamples_ = std::llround(kRelearnSeconds * options_.sampleRate);
    updateSamples_ = std::max<std::int64_t>(1, std::llround(kCornerUpdateSeconds * options_.sampleRate));
    fitKeep_ = std::exp(-kCornerUpdateSeconds / kCornerForgetSeconds);
    amplitudeAlpha_ = 1 - std::exp(-kCornerUpdateSeconds / kSignalRiseSeconds);
    fits_.assign(estimate_ ? 4 * 4 * 4 * 2 : 0, Fit());
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
    levels_ = slowLevels_ = Levels();
    previous_ = 0;
    sampleIndex_ = 0;
    level_ = 0;
    lastEdgeSample_ = 0;
    for (int j = 0; j < 3; ++j) crossUp_[j] = crossDown_[j] = slowUp_[j] = slowDown_[j] = 0;
    emittedTicks_ = 0;
    fastSum_ = 0;
    slowLevel_ = 0;
    slowPrevious_ = 0;
    slowLastEdge_ = 0;
    heldCount_ = 0;
    emittedLevel_ = 0;
    second_ = false;
    shortTail_ = 0;
    shortSum_ = shortPrevious_ = shortUp_ = shortDown_ = 0;
    shortLevel_ = shortEmitted_ = shortHeldCount_ = 0;
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
    restoreSum_ = 0;
    std::fill(decidedSums_.begin(), decidedSums_.end(), 0.0);
    decidedSumsPos_ = 0;
    decidedSumsTotal_ = 0;
    if (estimate_) SetRestoration(1);
    runLevel_ = previousLevel_ = 0;
    runStart_ = 0;
    runCount_ = 0;
    shortRun_ = watchStart_;
    settledFrom_ = relearnSamples_;
    nextUpdate_ = 0;
    std::fill(fits_.begin(), fits_.end(), Fit());
    measuredRuns_ = 0;
    heldAmplitude_ = 0;
}

void AudioSlicer::SetRestoration(double a) {
    restore_ = a < 1;
    restoreGain_ = 1 / a;
    restoreShare_ = (1 - a) / a;
}

double AudioSlicer::RestoredCorner() const {
    return restore_ ? restoreShare_ * options_.sampleRate / (2 * std::numbers::pi) : 0;
}

void AudioSlicer::MeasureRun(std::int64_t end) {
    const int kept = runCount_;
    runCount_ = -1;
    if (runStart_ < settledFrom_ || 2 * levels_.amplitude < options_.squelchSpan) return;
    const auto length = static_cast<double>((end < 0 ? sampleIndex_ : end) - runStart_);
    const int first = static_cast<int>(std::ceil(std::max(0.0, kWatchSettleSymbols * shortRun_ - watchStart_)));
    const int last = end < 0 ? kept - 1 : std::min(kept, static_cast<int>(length - watchEnd_ - watchStart_)) - 1;
    if (last < first) return;
    double offset = 0;
    double sum = 0;
    for (int k = first; k <= last; ++k) {
        offset += runOffsets_[static_cast<std::size_t>(k)];
        sum += runSums_[static_cast<std::size_t>(k)];
    }
    const double weight = last - first + 1;
    sum /= weight;
    // The offset as it would be without the restoration in use.
    offset = offset / weight - restoreShare_ * sum;
    // One fit for each kind of run (its level, the levels before and after
    // it, longer than two symbols or not), so that what such runs share
    // (the filter's ringing from their neighbours) is not read as sag.
    const int next = end < 0 ? runLevel_ : level_;
    const int longer = length > 2 * shortRun_ ? 1 : 0;
    Fit& fit = fits_[static_cast<std::size_t>(((previousLevel_ * 4 + runLevel_) * 4 + next) * 2 + longer)];
    fit.runs += 1;
    fit.weight += weight;
    fit.sum += weight * sum;
    fit.offset += weight * offset;
    fit.sumSquares += weight * sum * sum;
    fit.product += weight * sum * offset;
    fit.offsetSquares += weight * offset * offset;
    ++measuredRuns_;
}

void AudioSlicer::UpdateEstimate() {
    // A transmission after receiver noise: the levels widen within a few
    // symbols. The noise's runs lie at other offsets than the data's runs
    // of the same kind, and with sums of their own, so that while they were
    // remembered the two read as a slope (-50 Hz on the noise before a
    // transmission, which then took seconds to be forgotten): they are
    // dropped.
    if (SignalRose(levels_.amplitude, heldAmplitude_, amplitudeAlpha_)) {
        std::fill(fits_.begin(), fits_.end(), Fit());
        measuredRuns_ = 0;
    }
    double runs = 0, weight = 0, sumSpread = 0, covariance = 0, offsetSpread = 0;
    int kinds = 0;
    for (Fit& f : fits_) {
        if (f.weight > 0) {
            runs += f.runs;
            weight += f.weight;
            ++kinds;
            sumSpread += f.sumSquares - f.sum * f.sum / f.weight;
            covariance += f.product - f.sum * f.offset / f.weight;
            offsetSpread += f.offsetSquares - f.offset * f.offset / f.weight;
        }
        f.runs *= fitKeep_;
        f.weight *= fitKeep_;
        f.sum *= fitKeep_;
        f.offset *= fitKeep_;
        f.sumSquares *= fitKeep_;
        f.product *= fitKeep_;
        f.offsetSquares *= fitKeep_;
    }
    // Each kind of run costs the fit one degree of freedom.
    const double freedom = runs - kinds - 1;
    if (measuredRuns_ < kCornerMinRuns || freedom < kCornerMinRuns || !(sumSpread > 0)) return;
    // A run lies rate * sum below its level.
    const double rate = -covariance / sumSpread;
    const double error = std::sqrt(std::max(0.0, offsetSpread + rate * covariance) / freedom / sumSpread);
    const double perHz = 2 * std::numbers::pi / options_.sampleRate;
    const double floor = kCornerFloorHz * perHz;
    const bool matters = rate * std::sqrt(sumSpread / weight) > kCornerMinSag * levels_.amplitude;
    // Once on, the restoration follows only estimates as confident as the
    // one that turned it on: the first few runs after the fit dropped its
    // runs read far off.
    const bool confident = rate - kCornerConfidence * error > floor;
    if (confident && (restore_ || matters)) {
        const double share = std::min(rate, kCornerMaxHz * perHz);
        if (std::abs(share - restoreShare_) > kCornerRelearnShare * share) settledFrom_ = sampleIndex_ + relearnSamples_;
        SetRestoration(1 / (1 + share));
    } else if (restore_ && rate + kCornerConfidence * error < 0.5 * floor) {
        settledFrom_ = sampleIndex_ + relearnSamples_;
        SetRestoration(1);
    }
}

void AudioSlicer::WatchRun(double y) {
    const std::int64_t n = sampleIndex_;
    if (n >= nextUpdate_) {
        UpdateEstimate();
        nextUpdate_ = n + updateSamples_;
    }
    if (level_ != runLevel_) {
        const auto length = static_cast<double>(n - runStart_);
        if (length > driftHoldSamples_) settledFrom_ = n + relearnSamples_;  // a pause
        if (runCount_ >= 0) MeasureRun(n);
        if (length > kTransitLengths * decidingLength_)
            shortRun_ *= length < shortRun_ ? 1 - 0.75 * kShortRunStep : 1 + 0.25 * kShortRunStep;
        previousLevel_ = runLevel_;
        runLevel_ = level_;
        runStart_ = n;
        runCount_ = 0;
        return;
    }
    if (runCount_ < 0 || static_cast<double>(n - runStart_) < watchStart_) return;
    // As they are: a slow trend taken out of both sides lagged behind the
    // start of a transmission, and that lag, the data's and not the
    // coupling's, pulled the first second's estimate toward 0 Hz.
    runOffsets_[static_cast<std::size_t>(runCount_)] = y;
    runSums_[static_cast<std::size_t>(runCount_)] = decidedSumsTotal_ / decidingLength_;
    if (static_cast<std::size_t>(++runCount_) == runOffsets_.size()) MeasureRun(-1);
}

float AudioSlicer::Restore(float sample) {
    const double y = sample;
    const double x = restoreGain_ * y + restoreShare_ * restoreSum_;
    if (!decidedSums_.empty()) {
        // The sums the decision's average spans, as its samples owe them.
        decidedSumsTotal_ += restoreSum_ - decidedSums_[decidedSumsPos_];
        decidedSums_[decidedSumsPos_] = restoreSum_;
        if (++decidedSumsPos_ == decidedSums_.size()) decidedSumsPos_ = 0;
    }
    restoreSum_ = restoreLeak_ * restoreSum_ + y;
    // Until an estimated corner is in, the sample goes on untouched.
    return restore_ ? static_cast<float>(x) : sample;
}

std::uint8_t AudioSlicer::LineState() const {
    static constexpr std::uint8_t kFourLevel[4] = {0, kLineCTS, kLineCTS | kLineDSR, kLineCTS | kLineDSR | kLineDCD};
    if (!options_.fourLevel) {
        const std::uint8_t upper = level_ != 0 ? kLineDCD : 0;
        if (!second_) return upper;
        return static_cast<std::uint8_t>(upper | kLineSlowDecision | (shortEmitted_ != 0 ? 3 : 0));
    }
    if (!slow_) return kFourLevel[level_ & 3];
    return static_cast<std::uint8_t>(kFourLevel[emittedLevel_ & 3] | kLineSlowDecision | slowLevel_);
}

void AudioSlicer::EndRun(double atSample, std::vector<EdgeEntry>& out) {
    // A change stamped before the last one emitted (the other decision's)
    // takes effect there.
    const auto at = static_cast<std::uint64_t>(std::llround(std::max(0.0, atSample) * ticksPerSample_));
    if (at > emittedTicks_) {
        AppendRunTo(out, at - emittedTicks_, LineState());
        emittedTicks_ = at;
    }
}

void AudioSlicer::Release(double atSample, std::vector<EdgeEntry>& out) {
    int k = 0;
    for (; k < heldCount_ && heldAt_[k] <= atSample; ++k) {
        EndRun(heldAt_[k], out);
        emittedLevel_ = heldLevel_[k];
    }
    if (k == 0) return;
    std::copy(heldAt_ + k, heldAt_ + heldCount_, heldAt_);
    std::copy(heldLevel_ + k, heldLevel_ + heldCount_, heldLevel_);
    heldCount_ -= k;
}

void AudioSlicer::Emit(double atSample, int newLevel, std::vector<EdgeEntry>& out) {
    const int joined = second_ ? ReleaseSecond(atSample, out, atSample, newLevel) : -1;
    lastEdgeSample_ = atSample;
    if (slow_) {
        if (heldCount_ == kHeld) Release(heldAt_[0], out);
        heldAt_[heldCount_] = atSample;
        heldLevel_[heldCount_++] = newLevel;
    } else {
        EndRun(atSample, out);
    }
    level_ = newLevel;
    if (joined >= 0) shortEmitted_ = joined;
}

void AudioSlicer::StartSecondDecision() {
    if (!SecondDecisionWaiting()) return;
    second_ = true;
    // From the samples the long average holds now; it agrees with the long
    // decision until the signal says otherwise.
    const std::size_t size = window_.size();
    shortTail_ = (windowPos_ + size - shortLength_) % size;
    shortSum_ = 0;
    for (std::size_t k = 0; k < shortLength_; ++k) shortSum_ += window_[(shortTail_ + k) % size];
    shortPrevious_ = shortSum_ * shortInverse_;
    shortUp_ = shortDown_ = lastEdgeSample_;
    shortLevel_ = shortEmitted_ = level_ != 0 ? 1 : 0;
    shortHeldCount_ = 0;
}

void AudioSlicer::SecondDecision(double y, double centre, double band, std::vector<EdgeEntry>& out) {
    const double n = static_cast<double>(sampleIndex_);
    const double previous = shortPrevious_;
    shortPrevious_ = y;
    if (previous <= centre && y > centre) {
        shortUp_ = n - 1 + shortDelay_ + (centre - previous) / (y - previous);
    } else if (previous >= centre && y < centre) {
        shortDown_ = n - 1 + shortDelay_ + (previous - centre) / (previous - y);
    }
    // band < 0: silence decides nothing.
    double at;
    if (shortLevel_ == 0) {
        if (band < 0 || y <= centre + band) return;
        at = shortUp_;
    } else {
        if (band < 0 || y >= centre - band) return;
        at = shortDown_;
    }
    shortLevel_ ^= 1;
    if (shortHeldCount_ == kShortHeld) ReleaseSecond(shortHeldAt_[0], out, -1, -1);
    shortHeldAt_[shortHeldCount_] = at;
    shortHeldLevel_[shortHeldCount_++] = shortLevel_;
}

int AudioSlicer::ReleaseSecond(double atSample, std::vector<EdgeEntry>& out, double mainAt, int mainLevel) {
    // A change within a sample of one of the long decision's to the same
    // level goes into the same entry: no entry a sample long between them,
    // and where both see the change the long decision's timing serves.
    constexpr double kJoinSamples = 1.0;
    const int mainSide = level_ != 0 ? 1 : 0;
    const int joining = mainLevel < 0 ? -1 : mainLevel != 0 ? 1 : 0;
    int joined = -1;
    int k = 0;
    for (; k < shortHeldCount_ && shortHeldAt_[k] <= atSample; ++k) {
        const double at = shortHeldAt_[k];
        const int level = shortHeldLevel_[k];
        if (level == joining && mainAt - at < kJoinSamples) {
            joined = level;
        } else if (level == mainSide && std::abs(at - lastEdgeSample_) < kJoinSamples) {
            shortEmitted_ = level;
        } else {
            EndRun(at, out);
            shortEmitted_ = level;
        }
    }
    if (k == 0) return joined;
    std::copy(shortHeldAt_ + k, shortHeldAt_ + shortHeldCount_, shortHeldAt_);
    std::copy(shortHeldLevel_ + k, shortHeldLevel_ + shortHeldCount_, shortHeldLevel_);
    shortHeldCount_ -= k;
    return joined;
}

void AudioSlicer::SlowDecision(double y, std::vector<EdgeEntry>& out) {
    const double n = static_cast<double>(sampleIndex_);
    // Its own levels: the short average's are pulled apart by its noise.
    double thresholds[3];
    const double spacing = Track(slowLevels_, y, slowLastEdge_, thresholds);
    for (int j = 0; j < 3; ++j) {
        const double t = thresholds[j];
        if (slowPrevious_ <= t && y > t) {
            slowUp_[j] = n - 1 - slowDelay_ + (t - slowPrevious_) / (y - slowPrevious_);
        } else if (slowPrevious_ >= t && y < t) {
            slowDown_[j] = n - 1 - slowDelay_ + (slowPrevious_ - t) / (slowPrevious_ - y);
        }
    }
    slowPrevious_ = y;
    if (6 * spacing < options_.squelchSpan) return;
    const double band = options_.hysteresis * spacing;
    while (slowLevel_ < 3 && y > thresholds[slowLevel_] + band) {
        const double at = slowUp_[slowLevel_] >= slowLastEdge_ ? slowUp_[slowLevel_] : n - slowDelay_;
        Release(at, out);
        EndRun(at, out);
        slowLastEdge_ = at;
        ++slowLevel_;
    }
    while (slowLevel_ > 0 && y < thresholds[slowLevel_ - 1] - band) {
        const double at = slowDown_[slowLevel_ - 1] >= slowLastEdge_ ? slowDown_[slowLevel_ - 1] : n - slowDelay_;
        Release(at, out);
        EndRun(at, out);
        slowLastEdge_ = at;
        --slowLevel_;
    }
}

void AudioSlicer::AppendRunTo(std::vector<EdgeEntry>& out, std::uint64_t ticks, std::uint8_t state) {
    AppendRun(out, ticks, state);
}

double AudioSlicer::Track(Levels& e, double y, double lastEdge, double* thresholds) {
    const double a = e.amplitude;
    int count = 1;
    double spacing = a;
    int nearest;
    if (options_.fourLevel) {
        count = 3;
        spacing = a * kThird;
        thresholds[0] = e.centre - 2 * spacing;
        thresholds[1] = e.centre;
        thresholds[2] = e.centre + 2 * spacing;
        nearest = y > thresholds[2] ? 3 : y > thresholds[1] ? 2 : y > thresholds[0] ? 1 : 0;
    } else {
        thresholds[0] = e.centre;
        nearest = y > e.centre ? 1 : 0;
    }
    // The nearest level moves toward the sample; all levels shift slowly
    // with the signal around the centre, which follows a DC shift without
    // changing their spacing.
    // Samples on their way between levels would pull a level toward the
    // middle by an amount that depends on the data; only settled samples
    // (close to the level) and samples beyond the outer levels, which
    // also widen a span that is still being learnt, count.
    const double distance = y - e.means[nearest];
    const bool outside = (nearest == count && distance > 0) || (nearest == 0 && distance < 0);
    if (outside || std::abs(distance) < 0.5 * spacing) {
        e.means[nearest] += levelAlpha_ * distance;
        // A sample on its way through (a change) does not show the level is sent.
        if (std::abs(y - e.previous) < 0.25 * spacing) e.lastCounted[nearest] = static_cast<double>(sampleIndex_);
    }
    e.previous = y;
    const bool moving = static_cast<double>(sampleIndex_) - lastEdge < driftHoldSamples_;
    const double shift = moving ? driftAlpha_ * (y - e.centre) : 0.0;
    for (int j = 0; j <= count; ++j) e.means[j] += shift;
    if (options_.fourLevel && moving) {
        // Inner levels stay near where the outer ones put them while they
        // are not sent (FLEX syncs on the outer levels only). In the first
        // seconds they get there fast: joining a busy network sets every
        // level to the first sample, and an inner level left at an outer
        // one's place never counts a sample of its own, so at the slow
        // drift it shifted the centre for most of the first six frames.
        const double pull = static_cast<double>(sampleIndex_) < startUpSamples_ ? startUpAlpha_ : driftAlpha_;
        e.means[1] += pull * (e.centre - spacing - e.means[1]);
        e.means[2] += pull * (e.centre + spacing - e.means[2]);
    }
    if (options_.fourLevel) {
        // A transmission after a pause opens with the outer levels only
        // (FLEX syncs on them). Until an inner level's own symbols arrive
        // it goes where the outer levels put it: left where the changes of
        // the pause and of the first symbols dragged it, it may lie too far
        // from its symbols ever to count them, and it pulls the fit's
        // centre with it. Without pauses (receiver noise between
        // transmissions) the inner levels follow their own samples.
        const auto now = static_cast<double>(sampleIndex_);
        // A pause: the short average, which noise moves most, has not changed level.
        if (now - lastEdgeSample_ >= driftHoldSamples_) e.pauseSample = now;
        // Receiver noise alone before a transmission leaves the inner
        // levels where the noise put them, too far from their symbols ever
        // to count them: a transmission rising out of noise is placed as
        // one after a pause. Not while the levels are first learnt (every
        // sample rises then) and not again in a pause's own window.
        if (now >= e.nextRiseCheck) {
            e.nextRiseCheck = now + static_cast<double>(updateSamples_);
            if (SignalRose(e.amplitude, e.heldAmplitude, amplitudeAlpha_) && now >= riseSamples_ &&
                now - e.pauseSample >= afterPauseSamples_)
                e.pauseSample = now;
        }
        if (now - e.pauseSample < afterPauseSamples_) {
            const double third = (e.means[3] - e.means[0]) * kThird;
            const double inner[2] = {e.means[0] + third, e.means[3] - third};
            for (int j = 1; j <= 2; ++j) {
                if (now - e.lastCounted[j] > staleSamples_ && std::abs(e.means[j] - inner[j - 1]) > 0.5 * spacing)
                    e.means[j] = inner[j - 1];
            }
        }
        // Least squares for levels at centre + amplitude * {-1, -1/3, 1/3, 1}.
        e.centre = (e.means[0] + e.means[1] + e.means[2] + e.means[3]) * 0.25;
        e.amplitude = (e.means[3] - e.means[0] + (e.means[2] - e.means[1]) * kThird) * 0.45;
    } else {
        e.centre = (e.means[0] + e.means[1]) * 0.5;
        e.amplitude = (e.means[1] - e.means[0]) * 0.5;
    }
    if (e.amplitude < 0) e.amplitude = 0;
    return spacing;
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

template <bool kSecond>
void AudioSlicer::Step(float sample, std::vector<EdgeEntry>& out) {
    if (sampleIndex_ == 0) {
        // Start as if the first sample had always been there: a constant
        // input must not look like a step from zero.
        std::fill(window_.begin(), window_.end(), sample);
        windowSum_ = static_cast<double>(sample) * static_cast<double>(window_.size());
        fastSum_ = static_cast<double>(sample) * static_cast<double>(fastLength_);
        previous_ = slowPrevious_ = sample;
        for (Levels* e : {&levels_, &slowLevels_}) *e = {{sample, sample, sample, sample}, sample, 0};
        std::fill(timingSamples_.begin(), timingSamples_.end(), sample);
        timingSum_ = static_cast<double>(sample) * static_cast<double>(timingSamples_.size());
        timingPrevious_ = sample;
        if constexpr (kSecond) {
            shortSum_ = static_cast<double>(sample) * static_cast<double>(shortLength_);
            shortPrevious_ = sample;
        }
    }
    // 1. Moving average.
    if constexpr (kSecond) {
        // The sample leaving the short average: shortLength_ behind the write position.
        shortSum_ += static_cast<double>(sample) - window_[shortTail_];
        if (++shortTail_ == window_.size()) shortTail_ = 0;
    }
    if (slow_) {
        // The short average: the newest fastLength_ samples of the long one.
        const std::size_t size = window_.size();
        fastSum_ += static_cast<double>(sample) - window_[(windowPos_ + size - fastLength_) % size];
    }
    windowSum_ += static_cast<double>(sample) - window_[windowPos_];
    window_[windowPos_] = sample;
    if (++windowPos_ == window_.size()) windowPos_ = 0;
    const double y = slow_ ? fastSum_ * fastInverse_ : windowSum_ * inverseLength_;
    const double n = static_cast<double>(sampleIndex_);

    // 2. Envelope. Thresholds come from the levels before this sample.
    double thresholds[3];
    const int count = options_.fourLevel ? 3 : 1;
    const double spacing = Track(levels_, y, lastEdgeSample_, thresholds);
    const double span = 2 * count * spacing;

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
    if (slow_) SlowDecision(windowSum_ * inverseLength_, out);
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

    if constexpr (kSecond) {
        SecondDecision(shortSum_ * shortInverse_, thresholds[0],
                       span >= options_.squelchSpan ? options_.hysteresis * spacing : -1, out);
        // The long average stamps its changes at most about its window back;
        // four times that, so that no change of its own is moved.
        const double settled = n - 4 * static_cast<double>(window_.size());
        if (shortHeldCount_ > 0 && shortHeldAt_[0] <= settled) ReleaseSecond(settled, out, -1, -1);
    }
    // A change of the long average's decision is stamped at most about its
    // window before the sample that makes it.
    if (heldCount_ > 0) Release(n - static_cast<double>(window_.size()), out);
    if (estimate_) WatchRun(y);

    // Long steady states leave in pieces as they happen.
    ++sampleIndex_;
    const double now = static_cast<double>(sampleIndex_) * ticksPerSample_;
    if (now - static_cast<double>(emittedTicks_) >= static_cast<double>(kMaxDuration)) {
        out.push_back({static_cast<std::uint16_t>(kMaxDuration), LineState()});
        emittedTicks_ += kMaxDuration;
    }
}

template <bool kSecond>
void AudioSlicer::Slice(std::span<const float> samples, std::vector<EdgeEntry>& out) {
    // A float file can hold anything: one NaN or huge sample would stay in
    // the running sums and level means for good. Not a number is silence,
    // anything beyond full scale is clipped to it, as a 16-bit input would be.
    for (const float s : samples) {
        const float clean = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
        Step<kSecond>(restore_ || estimate_ ? Restore(clean) : clean, out);
    }
}

template <bool kSecond>
void AudioSlicer::Slice(std::span<const std::int16_t> samples, std::vector<EdgeEntry>& out) {
    for (const std::int16_t s : samples) {
        const float sample = static_cast<float>(s) * (1.0f / 32768.0f);
        Step<kSecond>(restore_ || estimate_ ? Restore(sample) : sample, out);
    }
}

void AudioSlicer::process(std::span<const float> samples, std::vector<EdgeEntry>& out) {
    second_ ? Slice<true>(samples, out) : Slice<false>(samples, out);
}

void AudioSlicer::process(std::span<const std::int16_t> samples, std::vector<EdgeEntry>& out) {
    second_ ? Slice<true>(samples, out) : Slice<false>(samples, out);
}

void AudioSlicer::Warm(std::span<const float> samples) {
    std::vector<EdgeEntry> handedOverAlready;
    process(samples, handedOverAlready);
    heldCount_ = 0;
    emittedLevel_ = level_;
    emittedTicks_ = static_cast<std::uint64_t>(std::llround(static_cast<double>(sampleIndex_) * ticksPerSample_));
}

void AudioSlicer::Flush(std::vector<EdgeEntry>& out) {
    Release(static_cast<double>(sampleIndex_), out);
    if (second_) ReleaseSecond(static_cast<double>(sampleIndex_) + shortDelay_, out, -1, -1);
    const auto end = static_cast<std::uint64_t>(std::llround(static_cast<double>(sampleIndex_) * ticksPerSample_));
    if (end > emittedTicks_) {
        AppendRunTo(out, end - emittedTicks_, LineState());
        emittedTicks_ = end;
    }
}

}  // namespace tolvane
