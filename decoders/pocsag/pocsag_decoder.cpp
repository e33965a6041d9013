#include "decoders/bits.h"
#include "decoders/pocsag/pocsag_decoder.h"

#include <algorithm>

#include "decoders/bch/bch.h"
#include "monitor/stat_counters.h"
#include "output/page_writer.h"
#include "receiver/clock_control.h"
#include "settings/settings.h"

namespace tolvane {

namespace {

// A capcode is 21 bits; one whose address word could not be corrected
// carries the mark above them.
constexpr std::int32_t kCapcodeMask = 0x1FFFFF;
constexpr std::int32_t kUncorrectableMark = 0x400000;

// The rate as records name it.
const char* RateText(int speedCode) {
    if (speedCode == kPocsagSpeed2400) return "2400";
    if (speedCode == kPocsagSpeed1200) return "1200";
    return "512";
}

}  // namespace

PocsagDecoder::PocsagDecoder(DecoderContext& context) : ctx_(context) {}

void PocsagDecoder::PocsagInputBit(char symbol) {
    windowHigh_ = (windowHigh_ << 1) | ((windowLow_ >> 15) & 1u);
    windowLow_ = (windowLow_ << 1) | (symbol == '1' ? 1u : 0u);

    if (symbol == 'X') {
        synced_ = false;
        bitsSinceBatch_ = 32;
        messageWords = 0;
        alphaCount = 0;
        numericCount = 0;
        addressPending = 0;
        if (lineOpen > 0) ctx_.writer.EndPage();
        lineOpen = 0;
    }

    if (!synced_) {
        const int distance = BitDistance(windowLow_, kSyncLow, 0xFFFFu) +
                             BitDistance(windowHigh_, kSyncHigh, 0xFFFFu);
        if (bitsSinceBatch_ < 32) ++bitsSinceBatch_;
        if (distance < (bitsSinceBatch_ < 32 ? kEarlySyncAcceptance : kSyncAcceptance)) {
            synced_ = true;
            bitIndex_ = 0;
            wordsLeft_ = 16;
            lastSyncDistance_ = distance;
        }
        return;
    }

    ctx_.bch.CodewordBits[static_cast<std::size_t>(bitIndex_)] = symbol;
    if (++bitIndex_ < 32) return;

    const int idleDistance = BitDistance(windowLow_, kIdleLow, 0xFFFFu) +
                             BitDistance(windowHigh_, kIdleHigh, 0xFFFFu);
    if (idleDistance < kIdleAcceptance) {
        ctx_.receiver.KeepPocsag();
        // An address followed by idle fill is a tone-only page: on the air
        // that is how most of them end, so it is finished like one followed
        // by another address.
        if ((messageWords >= 1 && messageWords <= 7) || (messageWords == 0 && addressPending)) FinishMessage();
        ResetMessage();
    } else {
        ProcessCodeword(16 - wordsLeft_);
    }
    bitIndex_ = 0;
    if (--wordsLeft_ == 0) {
        synced_ = false;
        bitsSinceBatch_ = 0;
    }
}

void PocsagDecoder::ProcessCodeword(int index) {
    lastBchResult_ = ctx_.bch.BchCorrect();
    if (lastBchResult_ < 2) ctx_.receiver.KeepPocsag();
    if (ctx_.bch.CodewordBits[0] == '1') {
        MessageCodeword();
    } else {
        AddressCodeword(index);
    }
}

void PocsagDecoder::MessageCodeword() {
    const auto& bits = ctx_.bch.CodewordBits;
    const int category = ctx_.receiver.PocsagSpeedCode();
    addressPending = 0;

    if (messageWords >= 8) {
        // Streaming a long message: each character as it completes.
        const ColorClass color = lastBchResult_ == 3 ? ColorClass::BitErrors : ColorClass::Alphanumeric;
        for (std::size_t i = 1; i <= 20; ++i) {
            ShiftAccumulator(bits[i]);
            if (++alphaBits == 7) {
                ctx_.writer.PutTextChar(color, static_cast<std::uint8_t>(accumulator_ & 0xFF));
                alphaBits = 0;
            }
        }
        return;
    }

    const bool badWord = lastBchResult_ == 3;
    for (std::size_t i = 1; i <= 20; ++i) {
        ShiftAccumulator(bits[i]);
        ++alphaBits;
        ++numericBits;
        if (bitsSinceToggle_ < kToggleLifetime) ++bitsSinceToggle_;
        const bool damagedBit = badWord || bitsSinceToggle_ < kToggleLifetime;
        alphaPartDamaged_ = alphaPartDamaged_ || damagedBit;
        numericPartDamaged_ = numericPartDamaged_ || damagedBit;
        if (alphaBits >= 7) {
            if (badWord) {
                accumulator_ ^= 4096;
                bitsSinceToggle_ = 0;
            }
            if (alphaCount < static_cast<std::int32_t>(alpha.size())) {
                alpha[static_cast<std::size_t>(alphaCount)] = accumulator_;
                alphaDamaged[static_cast<std::size_t>(alphaCount)] = alphaPartDamaged_;
            }
            ++alphaCount;
            alphaBits = 0;
            alphaPartDamaged_ = false;
        }
        if (numericBits >= 4) {
            const int digit = (accumulator_ >> 3) & 15;
            if (numericCount < static_cast<std::int32_t>(numeric.size())) {
                numeric[static_cast<std::size_t>(numericCount)] = kNumericTable[digit];
                numericDamaged[static_cast<std::size_t>(numericCount)] = numericPartDamaged_;
            }
            ++numericCount;
            numericBits = 0;
            numericPartDamaged_ = false;
        }
    }
    ++messageWords;

    if (messageWords == 7) {
        // Long enough to be text whatever it holds: show it and stream the rest.
        ctx_.stats.CountAlphaMessage(category);
        WriteHeader(PageType::Alpha);
        ++lineOpen;
        const std::int32_t stored = std::min<std::int32_t>(alphaCount, static_cast<std::int32_t>(alpha.size()));
        for (std::int32_t i = 0; i < stored; ++i) {
            const auto at = static_cast<std::size_t>(i);
            PutStored(static_cast<std::uint8_t>(alpha[at] & 0xFF), alphaDamaged[at], ColorClass::Alphanumeric);
            ctx_.stats.CountAlphaChars(category);
        }
        messageWords = 8;
    }
}

void PocsagDecoder::AddressCodeword(int index) {
    if (messageWords < 7 && (messageWords > 0 || addressPending)) FinishMessage(lastBchResult_ == 3);
    ResetMessage();
    const auto& bits = ctx_.bch.CodewordBits;
    std::int32_t address = 0;
    for (std::size_t i = 1; i <= 18; ++i) address = (address << 1) | (bits[i] == '1' ? 1 : 0);
    capcode = address * 8 + ((index / 2) & 7);
    if (lastBchResult_ == 3) capcode ^= kUncorrectableMark;
    function = (bits[19] == '1' ? 2 : 0) + (bits[20] == '1' ? 1 : 0);
    addressPending = 1;
}

void PocsagDecoder::FinishMessage(bool cutShort) {
    const int category = ctx_.receiver.PocsagSpeedCode();
    const std::int32_t storedAlpha = std::min<std::int32_t>(alphaCount, static_cast<std::int32_t>(alpha.size()));
    const std::int32_t storedDigits =
        std::min<std::int32_t>(numericCount, static_cast<std::int32_t>(numeric.size()));
    if (cutShort && storedAlpha > 0) alphaDamaged[static_cast<std::size_t>(storedAlpha - 1)] = true;
    if (cutShort && storedDigits > 0) numericDamaged[static_cast<std::size_t>(storedDigits - 1)] = true;

    int alphaScore = 0;
    for (std::int32_t i = 0; i < storedAlpha; ++i) {
        const std::int32_t value = alpha[static_cast<std::size_t>(i)];
        if (value > 31) {
            ++alphaScore;
        } else if (value != 10 && value != 23) {
            --alphaScore;
        }
    }
    int numericScore = 0;
    for (std::int32_t i = 0; i < storedDigits; ++i) {
        const std::int32_t digit = numeric[static_cast<std::size_t>(i)];
        ++numericScore;
        if (digit == 'U' || digit == '(' || digit == ')') numericScore -= 20;
    }

    if (7 * alphaScore > 4 * numericScore) {
        ctx_.stats.CountAlphaMessage(category);
        WriteHeader(PageType::Alpha);
        ++lineOpen;
        for (std::int32_t i = 0; i < storedAlpha; ++i) {
            const auto at = static_cast<std::size_t>(i);
            PutStored(static_cast<std::uint8_t>(alpha[at] & 0xFF), alphaDamaged[at], ColorClass::Alphanumeric);
            ctx_.stats.CountAlphaChars(category);
        }
        return;
    }

    ctx_.stats.CountNumericMessage(category);
    if (!ctx_.settings.PocsagShowsNumeric()) return;
    WriteHeader(messageWords == 0 ? PageType::Tone : PageType::Numeric);
    ++lineOpen;
    for (std::int32_t i = 0; i < storedDigits; ++i) {
        const auto at = static_cast<std::size_t>(i);
        PutStored(static_cast<std::uint8_t>(numeric[at]), numericDamaged[at], ColorClass::Numeric);
        ctx_.stats.CountNumericChars(category);
    }
    if (messageWords == 0) ctx_.writer.Put(cutShort ? ColorClass::BitErrors : ColorClass::Numeric, "TONE ONLY");
}

void PocsagDecoder::ResetMessage() {
    if (lineOpen > 0) {
        ctx_.writer.EndPage();
        lineOpen = 0;
    }
    numericBits = 0;
    alphaBits = 0;
    alphaPartDamaged_ = false;
    numericPartDamaged_ = false;
    alphaCount = 0;
    numericCount = 0;
    messageWords = 0;
    addressPending = 0;
}

void PocsagDecoder::PutStored(std::uint8_t ch, bool damaged, ColorClass clean) {
    const ColorClass color = damaged ? ColorClass::BitErrors : clean;
    if (clean == ColorClass::Alphanumeric)
        ctx_.writer.PutTextChar(color, ch);
    else
        ctx_.writer.Put(color, ch);
}

void PocsagDecoder::WriteHeader(PageType type) {
    const bool known = capcode < kUncorrectableMark;
    ctx_.writer.BeginPage({PageProtocol::Pocsag, RateText(ctx_.receiver.PocsagSpeedCode()),
                           known ? capcode & kCapcodeMask : -1, false, function, 0, type});
}

}  // namespace tolvane
