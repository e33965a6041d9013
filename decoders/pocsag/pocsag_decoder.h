// POCSAG decoder: bits from symbol recovery in, pages in the message pane out.
// The codewords it reads are laid out in air/pocsag_air.h.
//
// It looks for the batch sync codeword in a 32-bit sliding window, cuts the
// 16 codewords after it, corrects each (BCH(31,21) + parity), and tells
// address codewords (first bit 0: 18 address bits, 2 function bits; the
// frame number, codeword index / 2, gives the low 3 capcode bits) from
// message codewords (first bit 1: 20 payload bits). Payload bits are
// assembled into 7-bit characters and 4-bit digits at once, both least
// significant bit first, in one shared accumulator; when the page ends (the
// next address, an idle codeword, or loss of signal) a score decides which
// of the two to show. Messages of seven codewords or more are shown as text
// and then streamed character by character.
//
// While it keeps finding good or idle codewords it keeps symbol recovery in
// POCSAG mode.
#pragma once

#include <array>
#include <cstdint>

#include "air/pocsag_air.h"
#include "decoders/decoder_context.h"
#include "output/page_record.h"
#include "settings/settings.h"

namespace tolvane {

class PocsagDecoder {
public:
    explicit PocsagDecoder(DecoderContext& context);

    // One received bit: '1', '0', or 'X' when POCSAG mode ends.
    void PocsagInputBit(char symbol);

    // Page state, in the open for tests.
    std::int32_t capcode = 0;
    std::int32_t messageWords = 0;
    std::int32_t alphaCount = 0;
    std::int32_t numericCount = 0;
    std::int32_t lineOpen = 0;
    std::int32_t alphaBits = 0;
    std::int32_t numericBits = 0;
    std::int32_t addressPending = 0;
    std::array<std::int32_t, 25> alpha{};
    std::array<std::int32_t, 40> numeric{};
    std::int32_t function = 0;
    // Whether each stored character / digit holds bits of an uncorrectable
    // codeword (or of the bit-12 toggle it leaves behind): such text is
    // shown in the bit-error colour, so damage is never shown as clean text.
    std::array<bool, 25> alphaDamaged{};
    std::array<bool, 40> numericDamaged{};

    bool Synced() const { return synced_; }
    std::int32_t Accumulator() const { return accumulator_; }

    // The window halves of the sync and idle codewords.
    static constexpr std::uint32_t kSyncHigh = kPocsagSyncWord >> 16;
    static constexpr std::uint32_t kSyncLow = kPocsagSyncWord & 0xFFFFu;
    static constexpr std::uint32_t kIdleHigh = kPocsagIdleWord >> 16;
    static constexpr std::uint32_t kIdleLow = kPocsagIdleWord & 0xFFFFu;
    static constexpr int kSyncAcceptance = 5;  // distance below this is a sync
    // Within the 32 bits after a batch, where the window still holds part
    // of its last codeword, only this close a match: the next sync is due
    // at the 32nd bit, and message text followed by the first bits of the
    // sync can come within four bits of it.
    static constexpr int kEarlySyncAcceptance = 2;
    static constexpr int kIdleAcceptance = 3;  // distance below this is idle

private:
    void ProcessCodeword(int index);
    void MessageCodeword();
    void AddressCodeword(int index);
    // `cutShort`: the codeword that ends the message could not be
    // corrected, so it may have been the message's next word rather than an
    // address, and the end of the message is marked as in doubt.
    void FinishMessage(bool cutShort = false);
    void ResetMessage();
    void WriteHeader(PageType type);
    // Shifts one payload bit into the accumulator.
    void ShiftAccumulator(char bit) { accumulator_ = (accumulator_ >> 1) + (bit == '1' ? 64 : 0); }
    // Writes stored text, switching to the bit-error colour for damaged parts.
    void PutStored(std::uint8_t ch, bool damaged, ColorClass clean);

    DecoderContext& ctx_;
    std::uint32_t windowHigh_ = 0;
    std::uint32_t windowLow_ = 0;
    bool synced_ = false;
    int bitIndex_ = 0;
    int wordsLeft_ = 0;
    int bitsSinceBatch_ = 32;  // bits searched since a batch ended, up to 32
    int lastSyncDistance_ = 0;
    int lastBchResult_ = 0;
    std::int32_t accumulator_ = 0;
    // Damage carried by the character / digit being assembled, and bits
    // since the last bit-12 toggle (it leaves the accumulator after 13).
    bool alphaPartDamaged_ = false;
    bool numericPartDamaged_ = false;
    static constexpr int kToggleLifetime = 13;
    int bitsSinceToggle_ = kToggleLifetime;
};

}  // namespace tolvane
