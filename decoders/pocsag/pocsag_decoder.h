#pragma once

#include "decoders/decoder_context.h"

namespace tolvane {

class PocsagDecoder {
public:
    explicit PocsagDecoder(DecoderContext& context) : ctx_(context) {}
    void PocsagInputBit(char symbol) { (void)symbol; }

private:
    DecoderContext& ctx_;
};

}  // namespace tolvane
