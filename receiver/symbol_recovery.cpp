#include "receiver/symbol_recovery.h"

#include "receiver/decode_mode.h"
#include "receiver/edge_ring.h"
#include "settings/settings.h"

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

}  // namespace

void SymbolRecovery::DetectPocsagRate(std::int32_t runLength) {
    for (std::size_t r = 0; r < kRateWindows.size(); ++r) {
        std::int32_t& score = detector_.scores[r];
        if (runLength >= kRateWindows[r].low && runLength <= kRateWindows[r].high) {
            ++score;
        } else if (score > 5) {
            score -= 3;
        }
    }
    for (std::size_t r = 0; r < kRateWindows.size(); ++r) {
        if (detector_.scores[r] <= kRateLockScore) continue;
        detector_.scores[r] = 0;
        title_.ShowDecodeMode(kRateModes[r]);
        chain_.SymbolPeriod = kRatePeriods[r];
        chain_.PocsagSpeedCode = kRateSpeedCodes[r];
        if (chain_.PocsagHold == 0) {
            chain_.SymbolPhase = 0;
            chain_.symbolAccumulator = 0;
        }
        chain_.SymbolLoopGain = kLoopGainPocsag;
        chain_.PocsagHold = kPocsagHoldOnEntry;
        break;
    }
}

void SymbolRecovery::ProcessEntry(std::uint16_t duration, std::uint8_t lineState) {
    const double d = duration;
    chain_.symbolAccumulator += d;
    chain_.golayAccumulator += d;

    const std::uint8_t symbol =
        LineStateToSymbol(lineState, settings_.FourLevelInterface != 0, settings_.InvertData != 0);
    const int level = symbol >= 2 ? 1 : 0;

    if (level != detector_.lastLevel && settings_.DecodePocsag && !chain_.FlexLock && !chain_.GolayLock) {
        DetectPocsagRate(detector_.runLength);
        detector_.runLength = duration;
        detector_.lastLevel = level;
    } else if (detector_.runLength <= std::numeric_limits<std::int32_t>::max() - duration) {
        // Saturates: a long hold-off (hours with POCSAG off) must not wrap
        // into a window; any saturated run lies outside all of them.
        detector_.runLength += duration;
    }

    // Golay clock: the limit is fixed for this entry.
    const double golayLimit = chain_.GolayPhase + kGolayHalfPeriod;
    while (chain_.golayAccumulator >= golayLimit) {
        chain_.golayAccumulator -= kGolayPeriod;
        if (settings_.DecodeGolay && !chain_.FlexLock) {
            decoders_.GolayInputBit(static_cast<std::int8_t>(level));
            chain_.GolayErrorHistory[chain_.golayHistoryIndex] = chain_.golayError;
            chain_.golayHistoryIndex = (chain_.golayHistoryIndex + 1) & 63;
        }
    }
    chain_.golayError = chain_.golayAccumulator - chain_.GolayPhase;

    // Symbol clock: a decoder may change the phase and period inside the loop.
    while (chain_.symbolAccumulator >= chain_.SymbolPhase + 0.5 * chain_.SymbolPeriod) {
        chain_.symbolAccumulator -= chain_.SymbolPeriod;
        if (chain_.PocsagHold == 0) {
            if (!chain_.GolayLock && settings_.DecodeFlex) {
                decoders_.FlexInputSymbol(symbol);
                chain_.SymbolErrorHistory[chain_.symbolHistoryIndex] = chain_.symbolError;
                chain_.symbolHistoryIndex = (chain_.symbolHistoryIndex + 1) & 63;
            }
        } else if (!chain_.GolayLock && settings_.DecodePocsag) {
            decoders_.PocsagInputBit(level ? '0' : '1');
            if (--chain_.PocsagHold == 0) {
                title_.ShowDecodeMode(mode_code::Idle);
                decoders_.PocsagInputBit('X');
                chain_.SymbolPeriod = kFlex1600Period;
                chain_.SymbolLoopGain = kLoopGainNormal;
            }
        }
    }
    chain_.symbolError = chain_.symbolAccumulator - chain_.SymbolPhase;

    const int side = symbol <= 1 ? 1 : 0;
    if (side != lastClockSide_) {
        chain_.SymbolPhase += chain_.SymbolLoopGain * chain_.symbolError;
        chain_.GolayPhase += kGolayLoopGain * chain_.golayError;
    }
    lastClockSide_ = side;
}

double SymbolRecovery::DrainEdgeRing(EdgeRing& ring, double budgetTicks) {
    double drained = 0;
    EdgeEntry entry;
    while (drained < budgetTicks && ring.Pop(entry)) {
        ProcessEntry(entry.duration, entry.lineState);
        drained += entry.duration;
    }
    return drained;
}

}  // namespace tolvane
