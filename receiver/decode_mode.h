// The window title names the protocol and rate the receiver chain is locked
// to. ShowDecodeMode only sets the title; the callers do the mode resets.
#pragma once

#include <string_view>

namespace tolvane {

class TitleSink;

// ModeCode bits: 32 POCSAG (rate in bit 0 = 512, bit 1 = 1200, bit 2 = 2400),
// 64 Golay, 16 ReFLEX, otherwise FLEX with the phases A..D in bits 3..0.
namespace mode_code {
inline constexpr int Idle = 0;
inline constexpr int Pocsag512 = 33;
inline constexpr int Pocsag1200 = 34;
inline constexpr int Pocsag2400 = 36;
inline constexpr int Golay = 64;
inline constexpr int Flex1600_2 = 8;
inline constexpr int Flex3200_2 = 10;
inline constexpr int Flex3200_4 = 12;
inline constexpr int Flex6400_4 = 15;
inline constexpr int Reflex3200_4 = 31;
}  // namespace mode_code

inline constexpr std::string_view kAppTitle = "Tolvane";
// Timer ticks a FLEX title stays after the last FLEX sync.
inline constexpr int kFlexModeHoldTicks = 20;

// The title for a mode code, or an empty view when the code leaves the title
// unchanged (a POCSAG code without a rate bit).
std::string_view DecodeModeTitleText(int modeCode);

class DecodeModeTitle {
public:
    explicit DecodeModeTitle(TitleSink& sink) : sink_(sink) {}

    void ShowDecodeMode(int modeCode);
    // A flip of the audio polarity found from sync words: a passing title,
    // then the mode's again.
    void ShowPolarity(bool inverted);
    // Once per timer tick, before the ring is drained.
    void HoldTick();
    // The mode last shown (a mode_code), for a status line.
    int ModeCode() const { return modeCode_; }

    int FlexModeHold = 0;

private:
    TitleSink& sink_;
    int modeCode_ = mode_code::Idle;
};

}  // namespace tolvane
