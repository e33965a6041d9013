// The decode-mode title. The titles of each mode are checked end to end by
// the decoder tests; here what they cannot time: a POCSAG code without a
// rate, and the FLEX hold; and the title several receivers share.
#include "receiver/decode_mode.h"

#include <gtest/gtest.h>

#include "engine/channel_receiver.h"
#include "support/fake_world.h"

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

// The title names the channel that locked last; another channel going
// idle leaves it, its own going idle shows idle.
TEST(SharedTitle, NamesTheChannelThatLockedLast) {
    testing::FakeTitle window;
    SharedTitle shared(window);
    SharedTitle::Channel one(shared, "NYC1"), two(shared, "NYC2");
    DecodeModeTitle first(one), second(two);
    first.ShowDecodeMode(mode_code::Pocsag1200);
    second.ShowDecodeMode(mode_code::Flex1600_2);
    first.ShowDecodeMode(mode_code::Idle);
    second.ShowDecodeMode(mode_code::Idle);
    EXPECT_EQ(window.titles, (std::vector<std::string>{" Tolvane - NYC1: POCSAG 1200",
                                                       " Tolvane - NYC2: FLEX 1600 2 Level", " Tolvane"}));
}

}  // namespace
}  // namespace tolvane
