#include "receiver/decode_mode.h"

#include "world/outside_world.h"

namespace tolvane {

std::string_view DecodeModeTitleText(int modeCode) {
    if (modeCode & 32) {
        if (modeCode & 1) return " Tolvane - POCSAG 512";
        if (modeCode & 2) return " Tolvane - POCSAG 1200";
        if (modeCode & 4) return " Tolvane - POCSAG 2400";
        return {};
    }
    if (modeCode & 64) return " Tolvane - Golay (GSC)";
    if (modeCode & 16) return " Tolvane - ReFLEX ABCD 3200 4 Level";
    switch (modeCode) {
        case mode_code::Idle: return " Tolvane";
        case mode_code::Flex1600_2: return " Tolvane - FLEX 1600 2 Level";
        case mode_code::Flex3200_2: return " Tolvane - FLEX 3200 2 Level";
        case mode_code::Flex3200_4: return " Tolvane - FLEX 3200 4 Level";
        case mode_code::Flex6400_4: return " Tolvane - FLEX 6400 4 Level";
        default: break;
    }
    // No other codes are produced; an unexpected phase set shows as idle FLEX.
    return " Tolvane - FLEX";
}

void DecodeModeTitle::ShowDecodeMode(int modeCode) {
    const std::string_view title = DecodeModeTitleText(modeCode);
    if (!title.empty()) sink_.SetTitle(title);
}

void DecodeModeTitle::HoldTick() {
    if (FlexModeHold > 0 && --FlexModeHold == 0) ShowDecodeMode(mode_code::Idle);
}

}  // namespace tolvane
