#include "decoders/bits.h"
#include "decoders/flex/flex_decoder.h"

#include <bit>
#include <cstdio>

#include "air/flex_air.h"
#include "decoders/bch/bch.h"
#include "monitor/stat_counters.h"
#include "output/page_writer.h"
#include "receiver/clock_control.h"
#include "receiver/decode_mode.h"
#include "settings/settings.h"

namespace tolvane {

namespace {

constexpr int kSyncTolerance = 5;  // accepted: 0..4 differing bits
constexpr int kSyncCountdownStart = 89;

struct SyncMode {
    const FlexAirMode& air;
    int modeCode;
    int category;
};

// Tested in this order; the first within tolerance wins.
constexpr SyncMode kSyncModes[] = {
    {kFlexAir6400_4, mode_code::Flex6400_4, F6400},
    {kFlexAir3200_4, mode_code::Flex3200_4, F3200},
    {kFlexAir1600_2, mode_code::Flex1600_2, F1600},
    {kFlexAir3200_2, mode_code::Flex3200_2, F3200},
    {kReflexAir, mode_code::Reflex3200_4, F3200},
};

// The mode whose sync code and complement the window registers hold.
const SyncMode* KnownMode(const std::array<std::uint32_t, 4>& window) {
    for (const SyncMode& mode : kSyncModes) {
        if (BitDistance(window[0], mode.air.syncCode, 0xFFFFu) +
                BitDistance(window[3], FlexSyncComplement(mode.air), 0xFFFFu) <
            kSyncTolerance)
            return &mode;
    }
    return nullptr;
}

// Bit characters as stored: '1' = FLEX 0.
char HighBitChar(std::uint8_t symbol) { return symbol < 2 ? '1' : '0'; }
char LowBitChar(std::uint8_t symbol) { return symbol == 0 || symbol == 3 ? '1' : '0'; }

enum PhaseIndex : int { kA = 0, kB = 1, kC = 2, kD = 3 };

}  // namespace

FlexDecoder::FlexDecoder(DecoderContext& context) : ctx_(context), pages_(context) {}

void FlexDecoder::ShiftWindow(std::uint8_t symbol) {
    for (std::size_t r = 0; r < 3; ++r) window_[r] = (window_[r] << 1) | ((window_[r + 1] >> 15) & 1u);
    window_[3] = (window_[3] << 1) | (symbol < 2 ? 1u : 0u);
}

void FlexDecoder::FlexInputSymbol(std::uint8_t symbol) {
    symbol &= 3;
    ShiftWindow(symbol);
    const int marker = BitDistance(window_[1], kFlexMarkerHigh, 0xFFFFu) + BitDistance(window_[2], kFlexMarkerLow, 0xFFFFu);

    if (blocksLeft_ > 0) {
        // A frame started on a damaged sync may have been noise that looked
        // like the marker: a sync of a known mode ends it.
        if (!guessed_ || marker >= kSyncTolerance || KnownMode(window_) == nullptr) {
            CollectSymbol(symbol);
            return;
        }
        blocksLeft_ = 0;
        ctx_.receiver.ReleaseFlex();
    }
    if (marker < kSyncTolerance) SyncMatched();
    if (syncCountdown_ > 0) CountdownStep(symbol);
}

void FlexDecoder::SyncMatched() {
    const SyncMode* known = KnownMode(window_);
    guessed_ = known == nullptr;
    if (known == nullptr) {
        // The frame information word and the comma of reversals behind it
        // read like the marker for some cycle and frame numbers: inside a
        // header only a marker with a known code is a new sync.
        if (syncCountdown_ > 0) return;
        if ((window_[0] ^ window_[3]) == 0xFFFFu) UnknownSyncHeader();
        // Code and complement intact but of no kind we know (transmitters
        // send such resynchronisation cycles in bursts): no frame follows
        // it. A damaged code still runs the frame in the previous mode.
        if (((window_[0] ^ window_[3]) & 0xFFFFu) == 0xFFFFu) return;
    } else {
        ctx_.receiver.LockFlex(known->modeCode);
        symbolRate_ = known->air.symbolRate;
        category_ = known->category;
        levels_ = known->air.levels;
        reflex_ = known->air.reflex;
    }
    syncCountdown_ = kSyncCountdownStart;
    ctx_.receiver.CentreOnFlexSync();
}

void FlexDecoder::UnknownSyncHeader() {
    char text[32 + 4 * 8 + 1];
    std::snprintf(text, sizeof text, "UNKNOWN SYNC HEADER : %04X%04X%04X%04X", static_cast<unsigned>(window_[0]),
                  static_cast<unsigned>(window_[1]), static_cast<unsigned>(window_[2]),
                  static_cast<unsigned>(window_[3]));
    // A line of its own, whatever was being written.
    ctx_.writer.EndPage();
    ctx_.writer.Put(ColorClass::Misc, text);
    ctx_.writer.EndPage();
}

void FlexDecoder::CountdownStep(std::uint8_t symbol) {
    const int c = --syncCountdown_;
    if (c >= 40 && c <= 71) {
        ctx_.bch.CodewordBits[static_cast<std::size_t>(71 - c)] = HighBitChar(symbol);
    } else if (c == 39) {
        DecodeFrameInfo();
    } else if (c == 0) {
        blocksLeft_ = kFlexBlocksPerFrame;
        symbolIndex_ = 0;
        pairToggle_ = false;
        ctx_.receiver.StartFlexBlocks(symbolRate_, levels_);
    }
}

void FlexDecoder::DecodeFrameInfo() {
    Bch& bch = ctx_.bch;
    const int r = bch.BchCorrect();
    pages_.frame = -1;
    if (r >= 2) return;
    // Stored characters are complemented: '0' is a FLEX 1.
    const auto bit = [&](int k) { return bch.CodewordBits[static_cast<std::size_t>(k)] == '0' ? 1 : 0; };
    int cycle = 0;
    for (int k = 7; k >= 4; --k) cycle = cycle * 2 + bit(k);
    int frame = 0;
    for (int k = 14; k >= 8; --k) frame = frame * 2 + bit(k);
    pages_.frame = frame;
    if (!ctx_.settings.ShowFrame) return;

    char text[64];
    std::snprintf(text, sizeof text, "                 Cycle: %d Frame: %d", cycle, frame);
    ctx_.writer.WriteFrameRow(text);
}

void FlexDecoder::CollectSymbol(std::uint8_t symbol) {
    const auto at = static_cast<std::size_t>(symbolIndex_);
    const bool fourLevel = levels_ == 4;
    if (symbolRate_ == 1600 || !pairToggle_) {
        phases_[kA].symbols[at] = HighBitChar(symbol);
        if (fourLevel) phases_[kB].symbols[at] = LowBitChar(symbol);
        if (symbolRate_ == 1600)
            ++symbolIndex_;
        else
            pairToggle_ = true;
    } else {
        phases_[kC].symbols[at] = HighBitChar(symbol);
        if (fourLevel) phases_[kD].symbols[at] = LowBitChar(symbol);
        pairToggle_ = false;
        ++symbolIndex_;
    }
    if (symbolIndex_ < kFlexBlockSymbols) return;

    symbolIndex_ = 0;
    const int blockIndex = kFlexBlocksPerFrame - blocksLeft_;
    FlexBlock(phases_[kA], blockIndex);
    if (fourLevel) FlexBlock(phases_[kB], blockIndex);
    if (symbolRate_ == 3200) {
        FlexBlock(phases_[kC], blockIndex);
        if (fourLevel) FlexBlock(phases_[kD], blockIndex);
    }
    if (--blocksLeft_ > 0) return;

    ctx_.receiver.ReleaseFlex();
    if (reflex_ && phases_[kA].words[0] != kFlexWordMask) ReflexOutput();
}

void FlexDecoder::FlexBlock(FlexPhase& phase, int blockIndex) {
    Bch& bch = ctx_.bch;
    std::array<int, kFlexCodewordsPerBlock> errors{};
    bool anyUncorrectable = false;
    std::int32_t* words = &phase.words[static_cast<std::size_t>(blockIndex * kFlexCodewordsPerBlock)];
    for (int c = 0; c < kFlexCodewordsPerBlock; ++c) {
        for (int k = 0; k < 32; ++k)
            bch.CodewordBits[static_cast<std::size_t>(k)] = phase.symbols[static_cast<std::size_t>(c + 8 * k)];
        const int r = bch.BchCorrect();
        std::int32_t value = 0;
        for (int k = 0; k < 21; ++k)
            if (bch.CodewordBits[static_cast<std::size_t>(k)] == '0') value |= std::int32_t{1} << k;
        if (r == 3) value ^= kFlexUncorrectable;
        anyUncorrectable = anyUncorrectable || r == 3;
        errors[static_cast<std::size_t>(c)] = r;
        words[c] = value;
    }
    // Four or more bit errors in a word are as likely as not "corrected"
    // into another codeword, reported as two errors. Where the block holds
    // a word beyond correction, errors come thick enough for that to show
    // wrong pages as clean ones.
    if (anyUncorrectable)
        for (int c = 0; c < kFlexCodewordsPerBlock; ++c)
            if (errors[static_cast<std::size_t>(c)] == 2) words[c] |= kFlexSuspect;
    if (blockIndex == kFlexBlocksPerFrame - 1 && !reflex_) {
        pages_.rate = FlexRateText(symbolRate_, levels_);
        pages_.FlexDecodeFrame(phase, category_);
    }
}

void FlexDecoder::ReflexOutput() {
    PageWriter& writer = ctx_.writer;
    const std::int32_t head = phases_[kA].words[0];
    writer.BeginPage({PageProtocol::Reflex, "3200/4", -1, false, -1, 0, PageType::Raw});
    writer.Put(ColorClass::FLEXFormat, '[');
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06lX]", static_cast<unsigned long>(head));
    writer.Put(head >= kFlexSuspect ? ColorClass::BitErrors : ColorClass::FLEXFormat, hex);
    for (int i = 0; i < kFlexFrameWords; ++i) {
        for (const FlexPhase& phase : phases_) {
            const std::int32_t w = phase.words[static_cast<std::size_t>(i)];
            if (w == 0 || w == kFlexWordMask) continue;
            const ColorClass color = w >= kFlexSuspect ? ColorClass::BitErrors : ColorClass::Alphanumeric;
            for (int shift = 0; shift <= 14; shift += 7) {
                // A pane row ends at a 0 byte: a NUL from the air would hide
                // the rest of the dump, so it is left out.
                const auto ch = static_cast<std::uint8_t>((w >> shift) & 0x7F);
                if (ch != 0) writer.Put(color, ch);
            }
        }
    }
    writer.EndPage();
    ctx_.stats.NoteTraffic();
}

}  // namespace tolvane
