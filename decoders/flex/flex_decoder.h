// FLEX and ReFLEX decoder, fed one symbol (0..3) per symbol period.
//
// The frame, its sync and the modes are laid out in air/flex_air.h. The
// sync is kept in four 16-bit window registers, oldest first; of the rest of
// the header only the frame information word is read. Each symbol
// carries one bit per phase: the high bit (symbol 2 or 3 = FLEX 1) for
// phases A and C, the low bit (symbol 1 or 2 = FLEX 1) for B and D. The
// stored bit characters are the complement of the FLEX bits ('1' = FLEX 0);
// the complement of a codeword is a codeword, so correction works on them
// as they are.
#pragma once

#include <array>
#include <cstdint>

#include "decoders/decoder_context.h"
#include "decoders/flex/flex_pages.h"
#include "decoders/flex/flex_phase.h"

namespace tolvane {

class FlexDecoder {
public:
    explicit FlexDecoder(DecoderContext& context);

    void FlexInputSymbol(std::uint8_t symbol);
    // Fragmented messages: those overdue are shown (timer hook), and all of
    // them at the end of the input.
    void ExpireFragments() { pages_.ExpireFragments(); }
    void FlushFragments() { pages_.FlushFragments(); }

    // Phases A..D (index 0..3).
    const FlexPhase& Phase(int index) const { return phases_[static_cast<std::size_t>(index)]; }
    // The four sync window registers; register 3 holds the newest bits.
    const std::array<std::uint32_t, 4>& Window() const { return window_; }
    int BlocksLeft() const { return blocksLeft_; }
    int SymbolRate() const { return symbolRate_; }
    int Levels() const { return levels_; }
    int Category() const { return category_; }
    bool ReflexFrame() const { return reflex_; }

private:
    void ShiftWindow(std::uint8_t symbol);
    void SyncMatched();
    void UnknownSyncHeader();
    void CountdownStep(std::uint8_t symbol);
    void DecodeFrameInfo();
    void CollectSymbol(std::uint8_t symbol);
    void FlexBlock(FlexPhase& phase, int blockIndex);
    void ReflexOutput();

    DecoderContext& ctx_;
    FlexPageWriter pages_;
    std::array<FlexPhase, 4> phases_;

    std::array<std::uint32_t, 4> window_{};
    int syncCountdown_ = 0;
    int blocksLeft_ = 0;
    int symbolIndex_ = 0;
    bool pairToggle_ = false;
    int symbolRate_ = 1600;
    int levels_ = 2;
    int category_ = 2;  // F1600
    bool reflex_ = false;
    bool guessed_ = false;  // the frame began on a damaged sync, in the mode last seen
};

}  // namespace tolvane
