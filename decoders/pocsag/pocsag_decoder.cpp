#include "decoders/bits.h"
#include "decoders/pocsag/pocsag_decoder.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "decoders/bch/bch.h"
#include "world/outside_world.h"
#include "monitor/stat_counters.h"
#include "output/output.h"
#include "receiver/symbol_recovery.h"
#include "settings/settings.h"

namespace tolvane {

namespace {

// A capcode is 21 bits; one whose address word could not be corrected
// carries the mark above them.
constexpr std::int32_t kCapcodeMask = 0x1FFFFF;
constexpr std::int32_t kUncorrectableMark = 0x400000;
constexpr std::size_t kTimeTextMax = 40;

}  // namespace

PocsagDecoder::PocsagDecoder(DecoderContext& context) : ctx_(context) {
    ctx_.chain.PocsagSpeedCode = kPocsagSpeed1200;
}

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
        if (lineOpen > 0) ctx_.output.PaneEndLine(ctx_.output.MessagePane);
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
        ctx_.chain.PocsagHold = kHoldRefresh;
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
    if (lastBchResult_ < 2) ctx_.chain.PocsagHold = kHoldRefresh;
    if (ctx_.bch.CodewordBits[0] == '1') {
        MessageCodeword();
    } else {
        AddressCodeword(index);
    }
}

void PocsagDecoder::MessageCodeword() {
    Output& out = ctx_.output;
    const auto& bits = ctx_.bch.CodewordBits;
    const int category = ctx_.chain.PocsagSpeedCode;
    addressPending = 0;
    out.PaneSetColor(out.MessagePane, ColorClass::Alphanumeric);
    if (lastBchResult_ == 3) out.PaneSetColor(out.MessagePane, ColorClass::BitErrors);

    if (messageWords >= 8) {
        // Streaming a long message: each character as it completes.
        for (std::size_t i = 1; i <= 20; ++i) {
            ShiftAccumulator(bits[i]);
            if (++alphaBits == 7) {
                out.PutTextChar(static_cast<std::uint8_t>(accumulator_ & 0xFF));
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
        out.MarkMessageStart();
        out.PaneSetColor(out.MessagePane, ColorClass::Alphanumeric);
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
    Output& out = ctx_.output;
    const int category = ctx_.chain.PocsagSpeedCode;
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
        out.MarkMessageStart();
        out.PaneSetColor(out.MessagePane, ColorClass::Alphanumeric);
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
    out.MarkMessageStart();
    out.PaneSetColor(out.MessagePane, ColorClass::Numeric);
    for (std::int32_t i = 0; i < storedDigits; ++i) {
        const auto at = static_cast<std::size_t>(i);
        PutStored(static_cast<std::uint8_t>(numeric[at]), numericDamaged[at], ColorClass::Numeric);
        ctx_.stats.CountNumericChars(category);
    }
    if (messageWords == 0) {
        out.PaneSetColor(out.MessagePane, cutShort ? ColorClass::BitErrors : ColorClass::Numeric);
        out.PanePutText(out.MessagePane, "TONE ONLY");
    }
}

void PocsagDecoder::ResetMessage() {
    if (lineOpen > 0) {
        ctx_.output.PaneEndLine(ctx_.output.MessagePane);
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
    Output& out = ctx_.output;
    out.PaneSetColor(out.MessagePane, damaged ? ColorClass::BitErrors : clean);
    if (clean == ColorClass::Alphanumeric)
        out.PutTextChar(ch);
    else
        out.PanePutChar(out.MessagePane, ch);
}

void PocsagDecoder::WriteHeader(PageType type) {
    int baud = 512;
    int rateCode = 3;
    const char* rateText = "512";
    if (ctx_.chain.PocsagSpeedCode == kPocsagSpeed2400) {
        baud = 2400;
        rateCode = 1;
        rateText = "2400";
    } else if (ctx_.chain.PocsagSpeedCode == kPocsagSpeed1200) {
        baud = 1200;
        rateCode = 2;
        rateText = "1200";
    }

    std::string time;
    if (ctx_.settings.Timestamp) {
        time = ctx_.clock.TimeOfDayText();
        if (time.size() > kTimeTextMax) time.resize(kTimeTextMax);
    }
    const long shownCapcode = static_cast<long>(capcode & kCapcodeMask);
    const int shownFunction = function + 1;
    char text[96];
    if (capcode >= kUncorrectableMark) {
        if (ctx_.settings.Timestamp) {
            std::snprintf(text, sizeof text, "{???????} %s ? %d", time.c_str(), baud);
        } else {
            std::snprintf(text, sizeof text, "{???????} ? %d", baud);
        }
    } else if (ctx_.settings.Timestamp) {
        std::snprintf(text, sizeof text, "{%07li} %s %1i %d", shownCapcode, time.c_str(), shownFunction, baud);
    } else {
        std::snprintf(text, sizeof text, "{%07li} %1i %d", shownCapcode, shownFunction, baud);
    }

    Output& out = ctx_.output;
    out.SelectCapcodeFilter(FilterType::Pocsag, std::string_view(text + 1, 7), 7, shownFunction, rateCode);
    out.DescribePage({PageProtocol::Pocsag, rateText, capcode >= kUncorrectableMark ? -1 : function, 0, type});
    out.PutCapcodeField(text);
}

}  // namespace tolvane
