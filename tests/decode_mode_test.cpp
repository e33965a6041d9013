#include "receiver/decode_mode.h"

#include <gtest/gtest.h>

#include "support/fake_world.h"

namespace tolvane {
namespace {

TEST(ShowDecodeMode, TitlesForEveryCode) {
    const std::pair<int, const char*> cases[] = {
        {0, " Tolvane"},
        {33, " Tolvane - POCSAG 512"},
        {34, " Tolvane - POCSAG 1200"},
        {36, " Tolvane - POCSAG 2400"},
        {64, " Tolvane - Golay (GSC)"},
        {8, " Tolvane - FLEX 1600 2 Level"},
        {10, " Tolvane - FLEX 3200 2 Level"},
        {12, " Tolvane - FLEX 3200 4 Level"},
        {15, " Tolvane - FLEX 6400 4 Level"},
        {31, " Tolvane - ReFLEX ABCD 3200 4 Level"},
    };
    for (const auto& [code, text] : cases) {
        testing::FakeTitle sink;
        DecodeModeTitle title(sink);
        title.ShowDecodeMode(code);
        EXPECT_EQ(sink.Current(), text) << code;
    }
}

TEST(ShowDecodeMode, PocsagWithoutRateLeavesTitle) {
    testing::FakeTitle sink;
    DecodeModeTitle title(sink);
    title.ShowDecodeMode(36);
    title.ShowDecodeMode(32);
    EXPECT_EQ(sink.titles.size(), 1u);
    title.ShowDecodeMode(0);
    EXPECT_EQ(sink.Current(), " Tolvane");
}

TEST(FlexModeHold, ReturnsToIdleOnTheTwentiethTick) {
    testing::FakeTitle sink;
    DecodeModeTitle title(sink);
    title.ShowDecodeMode(8);
    title.FlexModeHold = kFlexModeHoldTicks;
    for (int i = 0; i < 19; ++i) title.HoldTick();
    EXPECT_EQ(sink.Current(), " Tolvane - FLEX 1600 2 Level");
    title.HoldTick();
    EXPECT_EQ(sink.Current(), " Tolvane");
    const std::size_t count = sink.titles.size();
    title.HoldTick();
    EXPECT_EQ(sink.titles.size(), count);
}

}  // namespace
}  // namespace tolvane
