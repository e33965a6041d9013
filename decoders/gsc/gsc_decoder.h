// The GSC decoder: fed one sample of the 600 bit/s Golay clock at a time.
//
// Idle, it looks at every sample for a preamble word (plain, within three
// half-bits, or complemented, within one) and for the start code. A start
// code after at least three preamble detections locks it; locked, it takes
// every 121st sample as the end of a block: start code, address, or data.
// The block budget (1 after a plain preamble, 16 after a complemented one,
// refilled by start codes, addresses after a plain preamble and continued
// data blocks) decides when it unlocks. An idle search that finds no start
// code within 949 samples after its first preamble starts over.
//
// A page is written once: at its last data block (no continuation flag), at
// the next address, after the eleventh data block, or when the decoder
// unlocks. Short pages show their digits and then their characters; pages
// of more than 24 characters show the characters only.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "decoders/decoder_context.h"
#include "decoders/gsc/gsc_code.h"

namespace tolvane {

// A text of at most N characters, kept in place (no allocation per bit).
template <std::size_t N>
class FixedText {
public:
    void Clear() { length_ = 0; }
    void Append(const char* s, std::size_t n) {
        for (std::size_t i = 0; i < n && length_ < N; ++i) text_[length_++] = s[i];
    }
    std::size_t size() const { return length_; }
    std::string_view view() const { return {text_.data(), length_}; }

private:
    std::array<char, N> text_{};
    std::size_t length_ = 0;
};

struct GscState {
    bool GscActive = false;
    std::int32_t GscCountdown = 0;
    std::int32_t PreambleCount = 0;
    std::int32_t PreambleIndex = 0;
    bool PreambleComplemented = false;
    std::int32_t BlocksLeft = 0;
    bool MessageContinues = false;
    bool PagePending = false;
    std::int32_t GscCapcode = 0;
    std::int32_t GscFunction = 0;
    std::int32_t DataBlockCount = 0;
    FixedText<24> GscNumericText;
    FixedText<80> GscAlphaText;
};

class GscDecoder {
public:
    explicit GscDecoder(DecoderContext& context) : ctx_(context) {}

    // One sample; a value above 0 stands for 1.
    void GolayInputBit(std::int8_t bit);

    const GscState& State() const { return state_; }

private:
    void Search();
    void BlockStep();
    void Lock();
    void Unlock();
    void StartAddress(int addressCode, std::uint32_t w2);
    void ProcessDataBlock();
    void GscOutputPage();
    void OutputPendingPage();

    DecoderContext& ctx_;
    GscBitHistory history_;
    GscState state_;
};

}  // namespace tolvane
