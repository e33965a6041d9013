// Audio slicer: discriminator audio -> edge entries, the same stream a
// level-slicer interface on a serial port would give.
//
// Per sample:
//   1. a moving-average low-pass one symbol long at the highest symbol rate
//      of interest (the matched filter for that rate, a plain smoother for
//      slower ones);
//   2. envelope tracking: each of the 2 or 4 levels is the running mean of
//      the samples nearest to it, and evenly spaced thresholds are fitted to
//      them. A level that sees no samples does not move, so a long run of one
//      level (preamble, idle) does not pull the thresholds into it, and the
//      mix of levels in the data does not move the centre; all levels also
//      shift slowly with the signal, which follows a DC shift;
//   3. decision: a comparator around the thresholds with hysteresis relative
//      to the tracked span (2 levels: one threshold in the middle; 4 levels:
//      three thresholds between the four deviation levels);
//   4. timing: a confirmed change is stamped at the interpolated moment the
//      signal crossed the threshold, not when the hysteresis band was left,
//      so edges keep sub-sample precision. For 2 levels the crossing is
//      taken from a second, much shorter moving average: the long one is
//      what keeps noise from flipping the decision, but it flattens the
//      edge, and a flat edge moves a lot with a little noise (at 2400 bit/s
//      that jitter pushed one-bit runs out of the rate detector's +-15 %).
//      The short path's crossing is used only when it is the single
//      crossing near the long path's one; in heavy noise the short path
//      crosses back and forth around an edge, and then the long path's
//      crossing is the safer estimate. When that happens at many of the
//      recent edges, the noise is heavy enough for the long path to time
//      every edge.
//
// Four levels are sliced twice: at FLEX's 3200 symbols/s inner levels need
// a short average, but FLEX 3200/4 data at 1600 symbols/s loses about
// 4 dB by it. The second decision, on a longer average with levels of its
// own, is stamped as if it had the short average's delay, so the symbol
// clock does not jump when the receiver changes from one to the other.
//
// Two levels may be sliced twice too (secondAveraging), once started: the
// decision above averages a whole symbol at the highest rate, which slower
// modes need under noise, but where two transmitters of a network are heard
// a third of a 3200 bit/s bit apart, a single bit shrinks to half a bit and
// that average never takes it past the hysteresis. A second decision on the
// newest part of the same average, against the same thresholds, goes in the
// low nibble, stamped as if it had the long average's delay; the receiver
// reads FLEX 3200/2 blocks from it. It costs a fifth of the slicing time,
// so it waits until the receiver asks for it (StartSecondDecision); until
// then the slicer does exactly what it does without it.
//
// Positive audio is the upper level: 2 levels raise DCD for the upper level;
// 4 levels raise CTS, CTS+DSR, CTS+DSR+DCD for levels 1..3 counted from the
// most negative. Inversion is left to the receiver (InvertData).
//
// A signal whose tracked span is below the squelch level produces no
// changes, so silence and a flat (or clipped-flat) input give one steady
// state. Steady states longer than 65535 ticks are emitted in 65535-tick
// pieces as they happen, so a live consumer keeps its clocks running.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "receiver/edge_ring.h"

namespace tolvane {

struct SlicerOptions {
    double sampleRate = 22050;
    bool fourLevel = false;
    // Sets the low-pass: `averaging` symbols of this rate are averaged.
    double maxSymbolRate = 3200;
    double averaging = 1.0;
    // 4 levels: a second decision on an average this many times longer,
    // for symbols at half the highest rate. It goes in the low nibble of
    // each line state (kLineSlowDecision and the level 0..3), so that the
    // receiver can take whichever suits the symbol rate of the moment; 0
    // or 1 leaves the low nibble 0.
    double slowFactor = 0;
    // Half-width of the hysteresis band as a fraction of the distance from a
    // threshold to the level beside it.
    double hysteresis = 0.3;
    // Time constant of the level means, and of the slow drift of a level
    // that sees no samples.
    double levelSeconds = 0.01;
    double driftSeconds = 0.5;
    // The drift follows the signal only while it changes level: a steady
    // level this long (a pause between transmissions) holds the levels, so
    // that they are where the next transmission needs them.
    double driftHoldSeconds = 0.1;
    // Below this span between the upper and lower level (full scale = 2)
    // the input counts as silent.
    double squelchSpan = 0.004;
    // Edge timing (2 levels): a moving average 1/timingRate s long (0 or a
    // rate not above maxSymbolRate: time edges on the decision filter), and
    // how far its crossing may lie from the decision filter's, as a
    // fraction of the decision filter's length.
    double timingRate = 11025;
    double timingWindow = 0.6;
    // Share of recent edges with no single short-path crossing above which
    // every edge is timed on the decision filter.
    double timingGiveUp = 0.15;
    // 2 levels: the second decision, once started, on an average this share
    // of a symbol at maxSymbolRate long (0 or not below `averaging`: none).
    double secondAveraging = 0;
    // An AC-coupled input: the corner (Hz) of the first-order high-pass in
    // front of the slicer, which is undone before anything else; 0: the
    // input is DC-coupled and taken as it is; kEstimatedCorner: not known,
    // estimated from the signal (below).
    double highpassCorner = 0;
    static constexpr double kEstimatedCorner = -1;
    // The undoing sum forgets with this time constant, so that noise,
    // rounding and an offset added after the coupling cannot walk the
    // baseline away for good. What is left is a high-pass this slow; at 1 s
    // it moved 4-level FLEX's levels enough to cost pages under noise.
    double restoreLeakSeconds = 10.0;

    bool operator==(const SlicerOptions&) const = default;
};

class AudioSlicer {
public:
    explicit AudioSlicer(const SlicerOptions& options = SlicerOptions());

    const SlicerOptions& Options() const { return options_; }

    // Back to the start of a stream: time 0, no signal seen.
    void reset();

    // Slices samples (full scale +-1; beyond is clipped, not a number is
    // taken as 0) and appends the edges that are
    // complete to `out`. Allocates only when `out` must grow.
    void process(std::span<const float> samples, std::vector<EdgeEntry>& out);
    void process(std::span<const std::int16_t> samples, std::vector<EdgeEntry>& out);

    // Ends the stream: appends the current state up to the last sample, so
    // that the durations add up to the length of the audio.
    void Flush(std::vector<EdgeEntry>& out);

    // Settles the levels and filters on audio another slicer has already
    // handed over (which then flushed): nothing is emitted for it, and the
    // next entry starts where it ends. A slicer with new options takes over
    // a running stream this way without a cold start in mid-transmission.
    void Warm(std::span<const float> samples);

    // The present decision, 0..3 (2 levels: 0 or 3), and the envelope.
    int Level() const { return level_; }
    double UpperLevel() const { return levels_.centre + levels_.amplitude; }
    double LowerLevel() const { return levels_.centre - levels_.amplitude; }
    // The corner (Hz) of the high-pass being undone now, 0 while none is.
    double RestoredCorner() const;
    // Ticks emitted so far (the sum of every duration appended).
    std::uint64_t EmittedTicks() const { return emittedTicks_; }

    // Starts the second 2-level decision from the next sample on, when the
    // options give one; reset() stops it.
    void StartSecondDecision();
    // The options give a second decision that has not been started.
    bool SecondDecisionWaiting() const { return shortLength_ > 0 && !second_; }

private:
    // Instantiated without and with the second decision, so that the plain
    // path stays as fast as it is.
    template <bool kSecond>
    void Slice(std::span<const float> samples, std::vector<EdgeEntry>& out);
    template <bool kSecond>
    void Slice(std::span<const std::int16_t> samples, std::vector<EdgeEntry>& out);
    template <bool kSecond>
    void Step(float sample, std::vector<EdgeEntry>& out);
    // The sample as it was before the input's high-pass (AC coupling).
    float Restore(float sample);
    // Undoes a first-order high-pass y[n] = a (y[n-1] + x[n] - x[n-1]); a = 1: none.
    void SetRestoration(double a);
    // Corner estimation, per sample: keeps the settled samples of the
    // decision's present run and brings the estimate up to date.
    void WatchRun(double y);
    // Adds the run that ended at sample `end` (-1: goes on) to the fit.
    void MeasureRun(std::int64_t end);
    // Reads the corner off the fit; turns the restoration on, updates or
    // ends it.
    void UpdateEstimate();
    // The moment (samples) to stamp a change decided at sample `now` whose
    // decision-filter crossing is at `crossing`; `direction` +1 upward, -1
    // downward.
    double EdgeTime(double crossing, int direction, double lastEdge, double now);
    void Emit(double atSample, int newLevel, std::vector<EdgeEntry>& out);
    // Appends the present state up to `atSample`; the caller changes a level.
    void EndRun(double atSample, std::vector<EdgeEntry>& out);
    // Emits the held changes stamped before `atSample`.
    void Release(double atSample, std::vector<EdgeEntry>& out);
    void SecondDecision(double y, double centre, double band, std::vector<EdgeEntry>& out);
    // Emits the second decision's changes up to `atSample`; one that joins
    // the long decision's change to `mainLevel` at `mainAt` is not emitted
    // but returned (its level, else -1), for after that change.
    int ReleaseSecond(double atSample, std::vector<EdgeEntry>& out, double mainAt, int mainLevel);
    void SlowDecision(double y, std::vector<EdgeEntry>& out);
    std::uint8_t LineState() const;
    // Running means of the samples nearest each level (2 levels use the
    // first two), and the centre and amplitude fitted to them.
    struct Levels {
        double means[4] = {0, 0, 0, 0};
        double centre = 0;
        double amplitude = 0;  // from the centre to the outer levels
        double lastCounted[4] = {0, 0, 0, 0};  // the last settled sample each mean counted
        double previous = 0;
        double pauseSample = -1e18;  // the last sample of the last pause (none yet)
        double heldAmplitude = 0;    // the amplitude's recent average, to see a transmission start
        double nextRiseCheck = 0;    // ... looked at every kCornerUpdateSeconds
    };
    // Sets the thresholds from `levels` as they stand, then lets them
    // follow `y`; returns the spacing of adjacent levels.
    double Track(Levels& levels, double y, double lastEdge, double* thresholds);
    static void AppendRunTo(std::vector<EdgeEntry>& out, std::uint64_t ticks, std::uint8_t state);

    SlicerOptions options_;
    double ticksPerSample_ = 0;
    double levelAlpha_ = 0;
    double staleSamples_ = 0;
    double afterPauseSamples_ = 0;
    double riseSamples_ = 0;
    double driftAlpha_ = 0;
    double startUpAlpha_ = 0;
    double startUpSamples_ = 0;
    double driftHoldSamples_ = 0;

    // Moving average.
    std::vector<float> window_;
    std::size_t windowPos_ = 0;
    double windowSum_ = 0;
    double inverseLength_ = 1;
    // 4 levels with a slow decision: window_ is the long average, the short
    // one sums its newest `fastLength_` samples. The long one's changes are
    // stamped `slowDelay_` samples earlier, where the short one's would be.
    bool slow_ = false;
    // 2 levels with a second decision: on the newest `shortLength_` samples
    // of window_, its changes stamped `shortDelay_` samples later, where the
    // long average's would be, and held until the long one can no longer
    // stamp a change before them.
    bool second_ = false;
    std::size_t shortLength_ = 0;
    std::size_t shortTail_ = 0;  // where in window_ the short average's oldest sample is
    double shortSum_ = 0;
    double shortInverse_ = 1;
    double shortDelay_ = 0;
    double shortPrevious_ = 0;
    double shortUp_ = 0;
    double shortDown_ = 0;
    int shortLevel_ = 0;    // the second decision as made
    int shortEmitted_ = 0;  // the second decision in the entries so far
    static constexpr int kShortHeld = 16;
    double shortHeldAt_[kShortHeld] = {};
    int shortHeldLevel_[kShortHeld] = {};
    int shortHeldCount_ = 0;
    std::size_t fastLength_ = 0;
    double slowDelay_ = 0;
    double fastSum_ = 0;
    double fastInverse_ = 1;
    int slowLevel_ = 0;
    double slowPrevious_ = 0;
    double slowUp_[3] = {0, 0, 0};
    double slowDown_[3] = {0, 0, 0};
    double slowLastEdge_ = 0;
    // Changes of the short average's decision wait here until the long
    // one can no longer stamp a change before them, so that the entries
    // keep both decisions in time order.
    static constexpr int kHeld = 8;
    double heldAt_[kHeld] = {};
    int heldLevel_[kHeld] = {};
    int heldCount_ = 0;
    int emittedLevel_ = 0;  // the short average's decision in the entries so far

    Levels levels_;
    Levels slowLevels_;
    double previous_ = 0;       // last filtered sample
    std::int64_t sampleIndex_ = 0;  // index of the sample being processed
    int level_ = 0;
    double lastEdgeSample_ = 0;  // where the last change of level was stamped
    // Latest interpolated crossing (in samples) of each threshold, upward
    // and downward.
    double crossUp_[3] = {0, 0, 0};
    double crossDown_[3] = {0, 0, 0};

    std::uint64_t emittedTicks_ = 0;  // absolute tick of the last edge

    // Baseline restoration: a first-order high-pass y[n] = a (y[n-1] + x[n]
    // - x[n-1]) is undone by x[n] = (y[n] + (1 - a) sum of y[0..n-1]) / a.
    bool restore_ = false;
    double restoreGain_ = 1;   // 1 / a
    double restoreShare_ = 0;  // (1 - a) / a
    double restoreLeak_ = 1;
    double restoreSum_ = 0;

    // An unknown corner is estimated from how far the settled samples of
    // each run of one decision lie below their level: a first-order
    // high-pass leaves x - (1 - a) * sum, so across runs of one kind the
    // offset falls with the undoing sum, and the slope of that fit is the
    // corner. A DC-coupled sum wanders far and owes nothing to the offsets:
    // its slope stays near 0 and the input untouched. Only an estimate
    // clearly above a floor turns the restoration on; the sum it needs is
    // kept from the start, so it restores the baseline at once. While on,
    // the runs are measured as they would be without it.
    bool estimate_ = false;
    double decidingLength_ = 1;  // samples averaged for the decision the runs are of
    double watchStart_ = 0;
    double watchEnd_ = 0;
    std::vector<double> runOffsets_;  // this run's samples
    std::vector<double> runSums_;     // the undoing sum each owes
    // A sample the decision averaged over its window lies below its level
    // by the sum averaged over the same window (at 300 Hz the sum at the
    // window's end read the corner 25 % high): the sums of that window.
    std::vector<double> decidedSums_;
    std::size_t decidedSumsPos_ = 0;
    double decidedSumsTotal_ = 0;
    int runLevel_ = 0;
    int previousLevel_ = 0;
    std::int64_t runStart_ = 0;
    int runCount_ = 0;  // samples kept of this run; -1: measured already
    double shortRun_ = 0;  // about a symbol, in samples
    std::int64_t relearnSamples_ = 0;
    std::int64_t settledFrom_ = 0;  // runs starting before this sample are not measured
    struct Fit {
        double runs = 0, weight = 0, sum = 0, offset = 0, sumSquares = 0, offsetSquares = 0, product = 0;
    };
    std::vector<Fit> fits_;  // by kind of run, forgetting old runs
    std::int64_t updateSamples_ = 1;
    std::int64_t nextUpdate_ = 0;
    double fitKeep_ = 1;
    int measuredRuns_ = 0;
    double heldAmplitude_ = 0;  // the levels' amplitude, averaged over kSignalRiseSeconds
    double amplitudeAlpha_ = 0;

    // Timing path: its moving average, the delay to add to its crossings to
    // match the decision filter's, and its latest crossings of the
    // threshold (time in samples, direction), oldest overwritten first.
    static constexpr int kTimingCrossings = 8;
    std::vector<float> timingSamples_;
    std::size_t timingPos_ = 0;
    double timingSum_ = 0;
    double timingInverse_ = 1;
    double timingDelay_ = 0;
    double timingReach_ = 0;  // timingWindow in samples
    double timingPrevious_ = 0;
    double timingCross_[kTimingCrossings] = {};
    int timingDirection_[kTimingCrossings] = {};
    int timingNext_ = 0;
    double ambiguous_ = 0;  // running share of edges without one clean crossing
};

}  // namespace tolvane
