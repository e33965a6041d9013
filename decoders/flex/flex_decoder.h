#pragma once

#include <cstdint>

#include "decoders/decoder_context.h"

namespace tolvane {

class FlexDecoder {
public:
    explicit FlexDecoder(DecoderContext& context) : ctx_(context) {}
    void FlexInputSymbol(std::uint8_t symbol) { (void)symbol; }

private:
    DecoderContext& ctx_;
};

}  // namespace tolvane
