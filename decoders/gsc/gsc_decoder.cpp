#include "decoders/gsc/gsc_decoder.h"

#include "decoders/gsc/golay.h"
#include "monitor/stat_counters.h"
#include "output/page_writer.h"
#include "receiver/clock_control.h"

namespace tolvane {

namespace {

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
    ctx_.receiver.LockGolay();
    state_.GscCountdown = kGscBlockBits;
    state_.MessageContinues = false;
}

void GscDecoder::Unlock() {
    state_.GscActive = false;
    ctx_.receiver.ReleaseGolay();
    state_.PreambleCount = 0;
    state_.GscCountdown = 0;
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

void GscDecoder::GscOutputPage() {
    PageWriter& writer = ctx_.writer;
    const std::string_view alpha = state_.GscAlphaText.view();
    const PageType type = alpha.size() > kNumericPageLimit ? PageType::Alpha
                          : state_.DataBlockCount == 0     ? PageType::Tone
                                                           : PageType::Numeric;
    writer.BeginPage({PageProtocol::Gsc, "600", state_.GscCapcode, false, state_.GscFunction, 0, type});
    if (alpha.size() > kNumericPageLimit) {
        ctx_.stats.CountAlphaMessage(GOLAY);
        ctx_.stats.CountAlphaChars(GOLAY, static_cast<std::uint32_t>(alpha.size()));
        writer.Put(ColorClass::Alphanumeric, alpha);
    } else {
        const std::string_view numeric = state_.GscNumericText.view();
        ctx_.stats.CountNumericMessage(GOLAY);
        ctx_.stats.CountNumericChars(GOLAY, static_cast<std::uint32_t>(numeric.size()));
        writer.Put(ColorClass::Numeric, numeric);
        writer.Put(ColorClass::Numeric, ' ');
        writer.Put(ColorClass::Alphanumeric, alpha);
    }
    writer.EndPage();
}

}  // namespace tolvane
