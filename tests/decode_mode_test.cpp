// The decode-mode title. The titles of each mode are checked end to end by
// the decoder tests; here what they cannot time: a POCSAG code without a
// rate, and the FLEX hold.
#include "receiver/decode_mode.h"

#include <gtest/gtest.h>

#include "support/world_fakes.h"

namespace tolvane {
namespace {

TEST(DecodeModeTitle, PocsagWithoutRateLeavesTheTitleAndTheHoldEndsOnTheTwentiethTick) {
    testing::FakeTitle sink;
    DecodeModeTitle title(sink);
    title.ShowDecodeMode(mode_code::Pocsag2400);
    title.ShowDecodeMode(32);
    EXPECT_EQ(sink.titles, std::vector<std::string>{" Tolvane - POCSAG 2400"});

    title.ShowDecodeMode(mode_code::Flex1600_2);
    title.FlexModeHold = kFlexModeHoldTicks;
    for (int i = 0; i < 19; ++i) title.HoldTick();
    EXPECT_EQ(sink.Current(), " Tolvane - FLEX 1600 2 Level");
    title.HoldTick();
    title.HoldTick();
    EXPECT_EQ(sink.titles, (std::vector<std::string>{" Tolvane - POCSAG 2400", " Tolvane - FLEX 1600 2 Level", " Tolvane"}));
}

}  // namespace
}  // namespace tolvane
