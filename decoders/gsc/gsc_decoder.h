#pragma once

#include <cstdint>

#include "decoders/decoder_context.h"

namespace tolvane {

class GscDecoder {
public:
    explicit GscDecoder(DecoderContext& context) : ctx_(context) {}
    void GolayInputBit(std::int8_t bit) { (void)bit; }

private:
    DecoderContext& ctx_;
};

}  // namespace tolvane
