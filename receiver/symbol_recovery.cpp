#include "receiver/symbol_recovery.h"

#include "air/flex_air.h"
#include "air/pocsag_air.h"
#include "receiver/decode_mode.h"
#include "receiver/edge_ring.h"
#include "settings/settings.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace tolvane {

namespace {

struct RateWindow {
    std::int32_t low;
    std::int32_t high;
};

// Accepted run lengths (ticks) for one bit at 2400, 1200 and 512 bit/s.
constexpr std::array<RateWindow, 3> kRateWindows = {{{422, 570}, {843, 1141}, {1977, 2673}}};
constexpr std::array<int, 3> kRateModes = {mode_code::Pocsag2400, mode_code::Pocsag1200, mode_code::Pocsag512};
constexpr std::array<double, 3> kRatePeriods = {kPocsag2400Period, kPocsag1200Period, kPocsag512Period};
constexpr std::array<int, 3> kRateSpeedCodes = {kPocsagSpeed2400, kPocsagSpeed1200, kPocsagSpeed512};
constexpr std::int32_t kRateLockScore = 180;
// A steady level this many symbols long is a pause between transmissions.
constexpr double kPauseSymbols = 32;
// How far a run may be off one bit to count in a pair. Where two
// transmitters of a network are heard a quarter of a bit apart, runs come
// alternately short and long by up to a third of a bit, and by more under
// noise; their pairs still sum to two bits.
constexpr double kPairRunTolerance = 0.45;

// Sync words for the polarity: the POCSAG sync codeword (1 = a POCSAG 1)
// and the FLEX sync marker as the FLEX decoder reads it (1 = symbol 0/1),
// accepted with up to two bit errors. On random bits such a match comes
// about once in 8 million samples.
constexpr int kPolaritySyncErrors = 2;
constexpr int kPocsagBatchBits = 17 * 32 + 32;
// The FLEX sync code on either side of the marker.
constexpr int kFlexSyncCodeSymbols = 16;

// Half the mean of an error history: the correction a decoder's sync
// makes to its clock's phase.
double HalfMean(const std::array<double, 64>& history) {
    double sum = 0.0;
    for (const double e : history) sum += e;
    return sum * 0.015625 * 0.5;
}

void SteerRate(ClockRate& rate, double gain, double errorInPeriods) {
    // A steady lag (the rate still off) is a lock; a scatter is not.
    rate.meanError += (errorInPeriods - rate.meanError) * (1 / kSpreadTransitions);
    rate.spread += (std::min(std::abs(errorInPeriods - rate.meanError), 0.5) - rate.spread) * (1 / kSpreadTransitions);
    const double locked = std::clamp((kUnlockedSpread - rate.spread) / (kUnlockedSpread - kLockedSpread), 0.0, 1.0);
    const double error = std::clamp(errorInPeriods, -kRateErrorLimit, kRateErrorLimit);
    rate.drift += locked * kRateGainShare * gain * gain * error - kRateLeak * rate.drift;
    rate.drift = std::clamp(rate.drift, -kMaxRateError, kMaxRateError);
}

}  // namespace

void SymbolRecovery::DetectPocsagRate(std::int32_t runLength) {
    const std::int32_t previous = detector_.previousRun;
    const std::int64_t pair = static_cast<std::int64_t>(previous) + runLength;
    for (std::size_t r = 0; r < kRateWindows.size(); ++r) {
        std::int32_t& score = detector_.scores[r];
        if (runLength >= kRateWindows[r].low && runLength <= kRateWindows[r].high) {
            ++score;
        } else if (score > 5) {
            score -= 3;
        }
        const double reach = kPairRunTolerance * kRatePeriods[r];
        const auto nearOneBit = [&](std::int32_t run) { return std::abs(run - kRatePeriods[r]) <= reach; };
        std::int32_t& pairScore = detector_.pairScores[r];
        if (nearOneBit(runLength) && nearOneBit(previous) && pair >= 2 * kRateWindows[r].low &&
            pair <= 2 * kRateWindows[r].high) {
            ++pairScore;
        } else if (pairScore > 5) {
            pairScore -= 3;
        }
    }
    detector_.previousRun = runLength;
    for (std::size_t r = 0; r < kRateWindows.size(); ++r) {
        if (detector_.scores[r] <= kRateLockScore && detector_.pairScores[r] <= kRateLockScore) continue;
        detector_.scores[r] = 0;
        detector_.pairScores[r] = 0;
        EnterPocsag(kRateSpeedCodes[r]);
        break;
    }
}

void SymbolRecovery::EnterPocsag(int speedCode) {
    const auto r = static_cast<std::size_t>(
        std::find(kRateSpeedCodes.begin(), kRateSpeedCodes.end(), speedCode) - kRateSpeedCodes.begin());
    if (r == kRateSpeedCodes.size()) return;
    title_.ShowDecodeMode(kRateModes[r]);
    clocks_.SymbolPeriod = kRatePeriods[r];
    clocks_.PocsagSpeedCode = speedCode;
    // A rate found again while POCSAG runs keeps the clock where it is.
    if (clocks_.PocsagHold == 0) {
        clocks_.SymbolPhase = 0;
        clocks_.symbolAccumulator = 0;
        clocks_.symbolRate.drift = 0;
    }
    clocks_.SymbolLoopGain = kLoopGainPocsag;
    clocks_.PocsagHold = kPocsagHoldOnEntry;
}

void SymbolRecovery::ReleaseDisabledLocks() {
    if (!settings_.DecodeFlex) clocks_.FlexLock = false;
    if (!settings_.DecodeGolay) clocks_.GolayLock = false;
    if (!settings_.DecodePocsag) clocks_.PocsagHold = 0;
}

void SymbolRecovery::LockFlex(int modeCode) {
    title_.ShowDecodeMode(modeCode);
    title_.FlexModeHold = kFlexModeHoldTicks;
    clocks_.FlexLock = true;
}

void SymbolRecovery::CentreOnFlexSync() {
    clocks_.SymbolPhase += HalfMean(clocks_.SymbolErrorHistory);
    clocks_.SymbolLoopGain = kLoopGainFlexSynced;
}

void SymbolRecovery::StartFlexBlocks(int symbolRate, int levels) {
    clocks_.SymbolPeriod = symbolRate == 1600 ? kFlex1600Period : kFlex3200Period;
    clocks_.FlexSlowBlocks = symbolRate == 1600 && levels == 4;
    const bool fast = symbolRate == 3200 && levels == 2;
    // Where the second decision starts within a frame depends on how far
    // the source has run ahead: the first frame is read as without it,
    // every later one from it.
    clocks_.FlexFastBlocks = fast && flexFastHeard_;
    flexFastHeard_ = flexFastHeard_ || fast;
    secondDecisionWanted_ = secondDecisionWanted_ || fast;
    clocks_.SymbolLoopGain = kLoopGainNormal;
}

void SymbolRecovery::ReleaseFlex() {
    clocks_.SymbolPeriod = kFlex1600Period;
    clocks_.FlexLock = false;
    clocks_.FlexSlowBlocks = false;
    clocks_.FlexFastBlocks = false;
}

void SymbolRecovery::LockGolay() {
    clocks_.GolayLock = true;
    title_.ShowDecodeMode(mode_code::Golay);
    clocks_.GolayPhase += HalfMean(clocks_.GolayErrorHistory);
}

void SymbolRecovery::ReleaseGolay() {
    clocks_.GolayLock = false;
    title_.ShowDecodeMode(mode_code::Idle);
    clocks_.GolayPhase = 0;
    clocks_.golayAccumulator = 0;
}

void SymbolRecovery::ProcessEntry(std::uint16_t duration, std::uint8_t lineState) {
    const double d = duration;
    ticksProcessed_ += duration;
    const bool invert = settings_.InvertData != 0 || (foundInverted_ && AutoPolarity());
    const bool fourLevel = settings_.FourLevelInterface != 0;
    std::uint8_t symbol = LineStateToSymbol(lineState, fourLevel, invert);
    const bool second = (lineState & kLineSlowDecision) != 0;
    if (second && (fourLevel ? clocks_.FlexSlowBlocks : clocks_.FlexFastBlocks))
        symbol = static_cast<std::uint8_t>((lineState & 3) ^ (invert ? 3 : 0));
    // An entry in which only the slicer's other decision changed does not
    // end the run whose change of side is owed its steering.
    if (sideSteer_.pending && (!second || lineState == sideSteer_.lineState || symbol != sideSteer_.symbol)) {
        SteerOnSideChange(sideSteer_.symbolError, sideSteer_.golayError);
        sideSteer_.pending = false;
    }

    // Where the level change that starts this entry fell in the symbol.
    double startError = clocks_.symbolAccumulator - clocks_.SymbolPhase;
    clocks_.symbolAccumulator += d;
    clocks_.golayAccumulator += d;
    int level = symbol >= 2 ? 1 : 0;
    const int side = symbol <= 1 ? 1 : 0;
    if (side != lastClockSide_) {
        // The first change after a pause puts the symbol clock's phase on
        // itself. Left to the loop, a first change near the middle of a
        // symbol can settle with every change at a sampling instant when
        // the slicer's levels, still those of the pause, make the runs
        // unequal: a change half a period early then balances one half a
        // period late, and every sample reads the longer level.
        if (sideTicks_ >= kPauseSymbols * clocks_.SymbolPeriod) {
            clocks_.SymbolPhase += startError;
            startError = 0;
        }
        sideTicks_ = 0;
        // Four levels: an outer-to-outer change passes through the inner
        // levels as short entries, and the centre crossing is the entry
        // that changes side. The error at the end of that entry would time
        // the crossing of an outer threshold instead, late by an amount
        // that depends on the data.
        if (fourLevel) SteerSymbolClock(startError);
    }
    sideTicks_ += d;

    if (level != detector_.lastLevel && settings_.DecodePocsag && !clocks_.FlexLock && !clocks_.GolayLock) {
        DetectPocsagRate(detector_.runLength);
        detector_.runLength = duration;
        detector_.lastLevel = level;
    } else if (detector_.runLength <= std::numeric_limits<std::int32_t>::max() - duration) {
        // Saturates: a long hold-off (hours with POCSAG off) must not wrap
        // into a window; any saturated run lies outside all of them.
        detector_.runLength += duration;
    }

    // Golay clock: the limit is fixed for this entry.
    const double golayPeriod = kGolayPeriod * (1 + clocks_.golayRate.drift);
    const double golayLimit = clocks_.GolayPhase + 0.5 * golayPeriod;
    while (clocks_.golayAccumulator >= golayLimit) {
        clocks_.golayAccumulator -= golayPeriod;
        if (settings_.DecodeGolay && !clocks_.FlexLock) {
            decoders_.GolayInputBit(static_cast<std::int8_t>(level));
            clocks_.GolayErrorHistory[clocks_.golayHistoryIndex] = clocks_.golayError;
            clocks_.golayHistoryIndex = (clocks_.golayHistoryIndex + 1) & 63;
        }
    }
    clocks_.golayError = clocks_.golayAccumulator - clocks_.GolayPhase;

    // Symbol clock: a decoder may change the phase and period inside the loop.
    while (clocks_.symbolAccumulator >= clocks_.SymbolPhase + 0.5 * clocks_.SymbolPeriod * (1 + clocks_.symbolRate.drift)) {
        clocks_.symbolAccumulator -= clocks_.SymbolPeriod * (1 + clocks_.symbolRate.drift);
        if (clocks_.PocsagHold == 0) {
            if (!clocks_.GolayLock && settings_.DecodeFlex) {
                decoders_.FlexInputSymbol(symbol);
                clocks_.SymbolErrorHistory[clocks_.symbolHistoryIndex] = clocks_.symbolError;
                clocks_.symbolHistoryIndex = (clocks_.symbolHistoryIndex + 1) & 63;
                if (AutoPolarity() && WatchFlex(symbol)) {
                    symbol ^= 3;
                    level ^= 1;
                }
            }
        } else if (!clocks_.GolayLock && settings_.DecodePocsag) {
            decoders_.PocsagInputBit(level ? '0' : '1');
            if (AutoPolarity() && WatchPocsag(level)) {
                symbol ^= 3;
                level ^= 1;
            }
            if (--clocks_.PocsagHold == 0) {
                title_.ShowDecodeMode(mode_code::Idle);
                decoders_.PocsagInputBit('X');
                clocks_.SymbolPeriod = kFlex1600Period;
                clocks_.SymbolLoopGain = kLoopGainNormal;
            }
        }
    }
    clocks_.symbolError = clocks_.symbolAccumulator - clocks_.SymbolPhase;

    if (sideSteer_.pending) {
        // The run goes on (the symbol is the same): it ends here or later.
        sideSteer_.symbolError = clocks_.symbolError;
        sideSteer_.golayError = clocks_.golayError;
        sideSteer_.lineState = lineState;
    } else if ((symbol <= 1 ? 1 : 0) != lastClockSide_) {
        // A change of side steers the 2-level clocks by where the run it
        // starts ends; where the slicer's second decision may split that
        // run, that is known only at the next change.
        if (fourLevel) {
            SteerGolayClock(clocks_.golayError);
        } else if (second) {
            sideSteer_ = {true, clocks_.symbolError, clocks_.golayError, lineState, symbol};
        } else {
            SteerOnSideChange(clocks_.symbolError, clocks_.golayError);
        }
    }
    lastClockSide_ = symbol <= 1 ? 1 : 0;
}

void SymbolRecovery::SteerOnSideChange(double symbolError, double golayError) {
    SteerSymbolClock(symbolError);
    SteerGolayClock(golayError);
}

void SymbolRecovery::SteerGolayClock(double error) {
    clocks_.GolayPhase += kGolayLoopGain * error;
    SteerRate(clocks_.golayRate, kGolayLoopGain, error / kGolayPeriod);
}

void SymbolRecovery::SteerSymbolClock(double error) {
    const double gain = clocks_.SymbolLoopGain;
    clocks_.SymbolPhase += gain * error;
    SteerRate(clocks_.symbolRate, gain, error / clocks_.SymbolPeriod);
}

bool SymbolRecovery::AutoPolarity() const { return settings_.AutoPolarity != 0 && settings_.InvertData == 0; }

void SymbolRecovery::Flip() {
    foundInverted_ = !foundInverted_;
    // The levels seen so far were of the other sense: no run ends here and
    // no transition steers the clocks.
    detector_.lastLevel ^= 1;
    lastClockSide_ ^= 1;
    title_.ShowPolarity(foundInverted_);
}

bool SymbolRecovery::WatchPocsag(int level) {
    pocsagBits_ = (pocsagBits_ << 1) | (level == 0 ? 1u : 0u);
    if (std::popcount(pocsagBits_ ^ kPocsagSyncWord) <= kPolaritySyncErrors) {
        pocsagSinceSync_ = 0;
        return false;
    }
    // Within a batch of the sense found, a complemented sync word is data.
    if (pocsagSinceSync_ < kPocsagBatchBits) {
        ++pocsagSinceSync_;
        return false;
    }
    if (std::popcount(~pocsagBits_ ^ kPocsagSyncWord) > kPolaritySyncErrors) return false;
    Flip();
    pocsagBits_ = ~pocsagBits_;
    for (int k = 31; k >= 0; --k) decoders_.PocsagInputBit((pocsagBits_ >> k) & 1u ? '1' : '0');
    pocsagSinceSync_ = 0;
    return true;
}

bool SymbolRecovery::WatchFlex(std::uint8_t symbol) {
    flexSymbols_[static_cast<std::size_t>(flexNext_)] = symbol;
    flexNext_ = (flexNext_ + 1) & 63;
    flexBits_ = (flexBits_ << 1) | (symbol < 2 ? 1u : 0u);
    // A frame in progress has its sense; its data may hold anything.
    if (clocks_.FlexLock) {
        flexFlipCountdown_ = 0;
        return false;
    }
    if (flexFlipCountdown_ == 0) {
        if (std::popcount(~static_cast<std::uint32_t>(flexBits_) ^ kFlexMarker) <= kPolaritySyncErrors)
            flexFlipCountdown_ = kFlexSyncCodeSymbols;
        return false;
    }
    if (--flexFlipCountdown_ > 0) return false;
    // Half of the marker is alternating bits, so noise running into a
    // preamble can read as its complement. Only a real sync has the
    // complement of the code before the marker after it.
    const auto codeBefore = static_cast<std::uint16_t>(flexBits_ >> 48);
    const auto codeAfter = static_cast<std::uint16_t>(flexBits_);
    if (std::popcount(static_cast<unsigned>(static_cast<std::uint16_t>(~codeBefore) ^ codeAfter)) > kPolaritySyncErrors)
        return false;
    Flip();
    flexBits_ = ~flexBits_;
    // Code, marker and the code's complement again, in the new sense: the
    // decoder finds the sync when the complement arrives.
    for (int k = 0; k < 64; ++k) {
        std::uint8_t& s = flexSymbols_[static_cast<std::size_t>((flexNext_ + k) & 63)];
        s ^= 3;
        decoders_.FlexInputSymbol(s);
    }
    return true;
}

double SymbolRecovery::DrainEdgeRing(EdgeRing& ring, double budgetTicks) {
    double drained = 0;
    EdgeEntry entry;
    while (drained < budgetTicks && ring.Pop(entry)) {
        ProcessEntry(entry.duration, entry.lineState);
        drained += entry.duration;
    }
    if (secondDecisionWanted_) {
        ring.RequestSecondDecision();
        secondDecisionWanted_ = false;
    }
    return drained;
}

}  // namespace tolvane
