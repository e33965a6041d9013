#include "decoders/gsc/gsc_decoder.h"

#include <cstdio>
#include <string>

#include "decoders/gsc/golay.h"
#include "world/outside_world.h"
#include "monitor/stat_counters.h"
#include "output/output.h"
#include "receiver/decode_mode.h"
#include "receiver/symbol_recovery.h"
#include "settings/settings.h"

namespace tolvane {

namespace {

constexpr std::size_t kTimeTextMax = 40;
constexpr std::size_t kNumericPageLimit = 24;  // longer alphanumeric readings are shown alone

GscWordPair CorrectedWords(const GscBitHistory& history) {
    GscWordPair words = ExtractAddressWords(history);
    words.w1 = GolayCorrect(words.w1);
    words.w2 = GolayCorrect(words.w2);
    return words;
}

}  // namespace

void GscDecoder::GolayInputBit(std::int8_t bit) {
    history_.Push(bit > 0 ? 1 : 0);
    if (state_.GscActive) {
        BlockStep();
    } else {
        Search();
    }
}

void GscDecoder::Search() {
    const GscWordPair words = CorrectedWords(history_);
    if (state_.PreambleCount >= kGscLockPreambles && IsStartCode(words)) {
        Lock();
        return;
    }
    for (int i = 0; i < static_cast<int>(kGscPreambleWords.size()); ++i) {
        const bool plain = PreambleDistance(history_, i, false) <= kGscPlainPreambleTolerance;
        if (plain || PreambleDistance(history_, i, true) <= kGscComplementPreambleTolerance) {
            ++state_.PreambleCount;
            state_.BlocksLeft = plain ? kGscPlainBlocks : kGscComplementBlocks;
            state_.PreambleComplemented = !plain;
            state_.PreambleIndex = i;
            if (state_.GscCountdown == 0) state_.GscCountdown = kGscSearchBudget;
            return;
        }
    }
    // The budget runs from the first detection and counts only samples
    // without one; running out resets the search.
    if (state_.GscCountdown > 0 && --state_.GscCountdown == 0) Unlock();
}

void GscDecoder::Lock() {
    state_.GscActive = true;
    ctx_.chain.GolayLock = true;
    ctx_.title.ShowDecodeMode(mode_code::Golay);
    state_.GscCountdown = kGscBlockBits;
    state_.MessageContinues = false;
    ctx_.chain.GolayPhase += ReceiverChain::HalfMean(ctx_.chain.GolayErrorHistory);
}

void GscDecoder::Unlock() {
    state_.GscActive = false;
    ctx_.chain.GolayLock = false;
    ctx_.title.ShowDecodeMode(mode_code::Idle);
    state_.PreambleCount = 0;
    state_.GscCountdown = 0;
    ctx_.chain.GolayPhase = 0;
    ctx_.chain.golayAccumulator = 0;
}

void GscDecoder::BlockStep() {
    if (--state_.GscCountdown > 0) return;

    const GscWordPair words = CorrectedWords(history_);
    int addressCode = -1;
    if (!state_.MessageContinues) {
        if (IsStartCode(words)) {
            state_.GscCountdown = kGscBlockBits;
            state_.BlocksLeft = kGscComplementBlocks;
            return;
        }
        addressCode = FindAddressCode(words);
    }
    if (addressCode >= 0) {
        StartAddress(addressCode, words.w2);
    } else {
        ProcessDataBlock();
    }

    if (--state_.BlocksLeft > 0) {
        state_.GscCountdown = kGscBlockBits;
        return;
    }
    OutputPendingPage();
    Unlock();
}

void GscDecoder::StartAddress(int addressCode, std::uint32_t w2) {
    OutputPendingPage();
    const GscAddress address = GscCapcodeOf(addressCode, w2, state_.PreambleIndex);
    state_.GscCapcode = address.capcode;
    state_.GscFunction = address.function;
    state_.GscNumericText.Clear();
    state_.GscAlphaText.Clear();
    state_.PagePending = true;
    state_.DataBlockCount = 0;
    state_.MessageContinues = false;
    if (!state_.PreambleComplemented) ++state_.BlocksLeft;
}

void GscDecoder::ProcessDataBlock() {
    const std::uint64_t data = DeinterleaveBlock(history_);
    if (state_.DataBlockCount >= kGscMaxDataBlocks) {
        OutputPendingPage();
        return;
    }
    ++state_.DataBlockCount;
    if (state_.GscNumericText.size() <= 12) {
        char digits[12];
        DecodeNumericBlock(data, digits);
        state_.GscNumericText.Append(digits, sizeof digits);
    }
    if (state_.GscAlphaText.size() <= 72) {
        char chars[8];
        const int n = DecodeAlphaBlock(data, chars);
        state_.GscAlphaText.Append(chars, static_cast<std::size_t>(n));
    }
    if (ContinuationFlag(data)) {
        state_.MessageContinues = true;
        ++state_.BlocksLeft;
    } else if (state_.PagePending) {
        OutputPendingPage();
        state_.MessageContinues = false;
        state_.GscNumericText.Clear();
        state_.GscAlphaText.Clear();
    }
}

void GscDecoder::OutputPendingPage() {
    if (!state_.PagePending) return;
    state_.PagePending = false;
    GscOutputPage();
}

void GscDecoder::GscOutputAddress(std::int32_t capcode, std::int32_t function) {
    char field[16];
    std::snprintf(field, sizeof field, "(%06li) %1i", static_cast<long>(capcode), static_cast<int>(function));
    std::string text = field;
    if (ctx_.settings.Timestamp) {
        const std::string time = ctx_.clock.TimeOfDayText();
        text += ' ';
        text.append(time, 0, kTimeTextMax);
    }
    Output& out = ctx_.output;
    out.SelectCapcodeFilter(FilterType::Golay, std::string_view(text).substr(1), 6, function, 0);
    out.PutCapcodeField(text);
}

void GscDecoder::GscOutputPage() {
    GscOutputAddress(state_.GscCapcode, state_.GscFunction);
    Output& out = ctx_.output;
    out.MarkMessageStart();
    const std::string_view alpha = state_.GscAlphaText.view();
    if (alpha.size() > kNumericPageLimit) {
        ctx_.stats.CountAlphaMessage(GOLAY);
        ctx_.stats.CountAlphaChars(GOLAY, static_cast<std::uint32_t>(alpha.size()));
        out.PaneSetColor(out.MessagePane, ColorClass::Alphanumeric);
        out.PanePutText(out.MessagePane, alpha);
    } else {
        const std::string_view numeric = state_.GscNumericText.view();
        ctx_.stats.CountNumericMessage(GOLAY);
        ctx_.stats.CountNumericChars(GOLAY, static_cast<std::uint32_t>(numeric.size()));
        out.PaneSetColor(out.MessagePane, ColorClass::Numeric);
        out.PanePutText(out.MessagePane, numeric);
        out.PanePutChar(out.MessagePane, ' ');
        out.PaneSetColor(out.MessagePane, ColorClass::Alphanumeric);
        out.PanePutText(out.MessagePane, alpha);
    }
    out.PaneEndLine(out.MessagePane);
}

}  // namespace tolvane
