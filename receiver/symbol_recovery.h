// Symbol recovery: edge ring entries -> symbols -> bits for the decoders.
//
// Each entry (duration, line state) becomes a symbol 0..3 (the number of
// raised lines among CTS, DSR, DCD; a 2-level interface gives 0 or 3). Two
// software clocks run over the entries: the symbol clock samples FLEX symbols
// or POCSAG bits at the current rate, the Golay clock samples GSC bits at a
// fixed 600 bit/s. Both are second-order loops: the accumulator holds the
// time since the last symbol boundary, a sample is taken half a period after
// it, and every level change pulls the phase toward the observed transition
// and the clock's rate toward the transmitter's. The rate term lets the
// clock follow a transmitter or sound card clock a per cent off; a phase
// pull alone lags such a clock by most of a symbol and slips bits.
// POCSAG and its rate are recognised from run lengths. The decoders steer
// the clocks through ClockControl (clock_control.h), which this implements.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "receiver/clock_control.h"

namespace tolvane {

class EdgeRing;
class DecodeModeTitle;
struct Settings;

// All times in ticks of 838.8 ns.
inline constexpr double kFlex1600Period = 745.1120648545541;
inline constexpr double kFlex3200Period = 372.55603242727705;
inline constexpr double kPocsag2400Period = 496.4;
inline constexpr double kPocsag1200Period = 993.0;
inline constexpr double kPocsag512Period = 2327.4;
inline constexpr double kGolayPeriod = 1986.9655062788108;
inline constexpr double kGolayHalfPeriod = 993.4827531394054;

inline constexpr double kLoopGainNormal = 0.065;
inline constexpr double kLoopGainPocsag = 0.025;
inline constexpr double kLoopGainFlexSynced = 0.015;
inline constexpr double kGolayLoopGain = 0.05;
// The rate term: each transition moves the relative rate by the phase
// gain squared times this share of the error (in periods, taken at most
// kRateErrorLimit, so that the large errors of a loop still pulling in at
// the start of a transmission do not throw the rate off), and lets a
// little of it go. The rate is held within kMaxRateError.
inline constexpr double kRateGainShare = 0.25;
inline constexpr double kRateErrorLimit = 0.2;
inline constexpr double kRateLeak = 1.0 / 2048;
inline constexpr double kMaxRateError = 0.02;
// The rate learns only while the clock is locked to a signal. Noise (no
// signal, or between transmissions) puts transitions anywhere in the
// period, |error| a quarter period on average, and a rate steered by them
// walked to 0.7 % in half a second: the next transmission's preamble was
// not enough to pull it back, and with the steadier gain after a FLEX
// sync the clock slipped a symbol in the frame header. The scatter of the
// errors about their mean (a steady lag is a clock still off in rate, not
// a lost lock) over about kSpreadTransitions transitions measures the
// lock: the rate learns fully below kLockedSpread periods and not at all
// above kUnlockedSpread.
inline constexpr double kSpreadTransitions = 32;
inline constexpr double kLockedSpread = 0.15;
inline constexpr double kUnlockedSpread = 0.2;

// POCSAG bits the mode lasts after its rate is recognised, and after the
// decoder last found a good codeword.
inline constexpr int kPocsagHoldOnEntry = 600;
inline constexpr int kPocsagHoldOnKeep = 170;

// Number of raised lines among CTS, DSR, DCD by the line-state high nibble
// (bit 0 CTS, 1 DSR, 2 RI, 3 DCD); RI is ignored.
inline constexpr std::array<std::uint8_t, 16> kLineStateToSymbol = {0, 1, 1, 2, 0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3};

// The symbol for one line-state byte under the interface settings.
constexpr std::uint8_t LineStateToSymbol(std::uint8_t lineState, bool fourLevel, bool invert) {
    std::uint8_t symbol = kLineStateToSymbol[lineState >> 4];
    if (!fourLevel && symbol != 0) symbol = 3;
    if (invert) symbol ^= 3;
    return symbol;
}

// Where the sampled bits and symbols go.
class DecoderInputs {
public:
    virtual ~DecoderInputs() = default;
    // '1' for symbol 0/1, '0' for 2/3, 'X' once when POCSAG mode ends.
    virtual void PocsagInputBit(char symbol) = 0;
    virtual void FlexInputSymbol(std::uint8_t symbol) = 0;
    // 1 for symbol 2/3, else 0.
    virtual void GolayInputBit(std::int8_t bit) = 0;
};

// The rate term of a clock: each symbol is the nominal period times
// (1 + drift) long.
struct ClockRate {
    double drift = 0;
    double meanError = 0;  // recent phase errors, in periods
    double spread = 0.25;  // their mean distance from meanError (a quarter: no lock)
};

// The state of the two clocks and of the locks the decoders set.
struct ClockState {
    // Symbol clock.
    double symbolAccumulator = 0;
    double SymbolPhase = 0;
    double SymbolPeriod = kFlex1600Period;
    double SymbolLoopGain = kLoopGainNormal;
    double symbolError = 0;
    ClockRate symbolRate;
    std::array<double, 64> SymbolErrorHistory{};
    int symbolHistoryIndex = 0;

    // Golay clock.
    double golayAccumulator = 0;
    double GolayPhase = 0;
    double golayError = 0;
    ClockRate golayRate;
    std::array<double, 64> GolayErrorHistory{};
    int golayHistoryIndex = 0;

    // Modes.
    int PocsagHold = 0;
    int PocsagSpeedCode = kPocsagSpeed1200;
    bool FlexLock = false;
    // The FLEX decoder reads the blocks of a 4-level frame at 1600
    // symbols/s: the symbols come from the 4-level audio slicer's decision
    // on its longer average, where there is one.
    bool FlexSlowBlocks = false;
    // ... and of a 2-level frame at 3200 symbols/s from the 2-level audio
    // slicer's decision on its shorter average, where there is one, from
    // the second such frame on: the first asks the slicer for it.
    bool FlexFastBlocks = false;
    bool GolayLock = false;
};

// Scores run lengths for the three POCSAG rates. `scores` count runs
// inside a rate's window. Sliced audio in noise moves every edge by up to a
// sample or so, which at 2400 bit/s throws a fifth of the preamble's runs
// out of that window although the bits are right; `pairScores` count runs
// that are less than a third off one bit, taken with the run before,
// whose sum is within the window of two bits: the error of an edge
// shortens one run as much as it lengthens the next.
struct PocsagRateDetector {
    std::int32_t runLength = 0;
    std::int32_t previousRun = 0;
    int lastLevel = 0;
    std::array<std::int32_t, 3> scores{};  // 2400, 1200, 512
    std::array<std::int32_t, 3> pairScores{};
};

class SymbolRecovery final : public ClockControl {
public:
    SymbolRecovery(const Settings& settings, DecodeModeTitle& title, DecoderInputs& decoders)
        : settings_(settings), title_(title), decoders_(decoders) {}

    // Processes one ring entry.
    void ProcessEntry(std::uint16_t duration, std::uint8_t lineState);

    // Processes ring entries until the ring is empty or, when a budget is
    // given, until the drained durations reach it. Returns the ticks drained.
    // A FLEX 3200/2 frame among them asks the ring's source for the
    // slicer's second 2-level decision.
    double DrainEdgeRing(EdgeRing& ring, double budgetTicks = std::numeric_limits<double>::infinity());

    // The durations of all entries processed so far: how far into the
    // input decoding has come, in edge ticks.
    std::uint64_t TicksProcessed() const { return ticksProcessed_; }

    const PocsagRateDetector& RateDetector() const { return detector_; }
    // The polarity found from sync words (used while AutoPolarity is on and
    // InvertData is 0).
    bool FoundInverted() const { return foundInverted_; }
    const ClockState& Clocks() const { return clocks_; }

    // What rate detection does on finding a POCSAG rate (a kPocsagSpeed value).
    void EnterPocsag(int speedCode);
    // The settings changed: a decoder switched off must not keep the others
    // locked out.
    void ReleaseDisabledLocks();

    void KeepPocsag() override { clocks_.PocsagHold = kPocsagHoldOnKeep; }
    int PocsagSpeedCode() const override { return clocks_.PocsagSpeedCode; }
    void LockFlex(int modeCode) override;
    void CentreOnFlexSync() override;
    void StartFlexBlocks(int symbolRate, int levels) override;
    void ReleaseFlex() override;
    void LockGolay() override;
    void ReleaseGolay() override;

private:
    void DetectPocsagRate(std::int32_t runLength);
    bool AutoPolarity() const;
    void SteerSymbolClock(double error);
    void SteerGolayClock(double error);
    void SteerOnSideChange(double symbolError, double golayError);
    // Each watches the samples handed to its decoder for the sync word in
    // the complement; on finding it the polarity flips and the decoder gets
    // the sync word again in the right sense. True when it flipped.
    bool WatchPocsag(int level);
    bool WatchFlex(std::uint8_t symbol);
    void Flip();

    const Settings& settings_;
    ClockState clocks_;
    DecodeModeTitle& title_;
    DecoderInputs& decoders_;
    PocsagRateDetector detector_;
    int lastClockSide_ = 0;
    // 2 levels with the slicer's second decision: the steering a change of
    // side is owed, taken where its run ends (the end of the entry before
    // the next change of the symbol), not where the other decision split it.
    struct SideSteer {
        bool pending = false;
        double symbolError = 0;
        double golayError = 0;
        std::uint8_t lineState = 0;  // of the last entry of the run
        std::uint8_t symbol = 0;     // of the run
    };
    SideSteer sideSteer_;
    bool flexFastHeard_ = false;         // a FLEX 3200/2 frame has started its blocks
    bool secondDecisionWanted_ = false;  // ... and the ring's source has not been asked since
    double sideTicks_ = 0;  // how long the line has stayed on this side of the centre
    std::uint64_t ticksProcessed_ = 0;

    bool foundInverted_ = false;
    std::uint32_t pocsagBits_ = 0;  // the last 32 POCSAG bits, 1 = a POCSAG 1
    int pocsagSinceSync_ = 1 << 20;  // POCSAG bits since the sync word was seen as sent
    std::uint64_t flexBits_ = 0;    // the last 64 FLEX bits as the decoder reads them
    std::array<std::uint8_t, 64> flexSymbols_{};  // the same symbols, oldest at flexNext_
    int flexNext_ = 0;
    int flexFlipCountdown_ = 0;  // symbols until a complemented marker's code complement is in
};

}  // namespace tolvane
