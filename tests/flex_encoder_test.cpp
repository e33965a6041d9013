#include "tools/gen/flex_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "decoders/flex/flex_phase.h"
#include "support/fake_world.h"
#include "tools/gen/protocols.h"

namespace tolvane::gen {
namespace {

TEST(FlexEncoderAddresses, LongAddressWordsGiveBackTheCapcode) {
    for (const std::uint32_t capcode : {0x1F9001u, 0x1F9000u + 0x8000u, 0x1F9000u + 0x8001u, 123456789u,
                                        999999999u, 0x7FFFFFFFu, 0x801F9001u, 0u, 0xFFFFFFFFu}) {
        std::uint32_t first = 0;
        std::uint32_t second = 0;
        FlexLongAddressWords(capcode, first, second);
        EXPECT_TRUE(FlexLongAddress(static_cast<std::int32_t>(first))) << capcode;
        EXPECT_GE(first, 1u);
        EXPECT_LE(second, 0x1FFFFFu);
        EXPECT_EQ((~second << 15) + first + 0x1F9000u, capcode);
    }
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    FlexLongAddressWords(0x1F9001, first, second);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 0x1FFFFFu);
    // Short addresses: capcode + 0x8000 where that is a short-address value.
    EXPECT_TRUE(FlexShortAddressWord(1, first));
    EXPECT_EQ(first, 0x8001u);
    EXPECT_TRUE(FlexShortAddressWord(0x1EF7FE, first));
    EXPECT_FALSE(FlexShortAddressWord(0x1D8001, first));
    EXPECT_FALSE(FlexShortAddressWord(0x1EF7FF, first));
}

TEST(FlexEncoderLayout, RefusesWhatAFrameCannotCarry) {
    const std::string longText(300, 'x');
    struct Case {
        FlexMode mode;
        FlexPage page;
        const char* why;
    };
    const Case cases[] = {
        {FlexMode::Flex1600_2, {1, false, kFlexAlphanumeric, longText}, "needs"},
        {FlexMode::Flex1600_2, {5, false, kFlexAlphanumeric, "x", 1}, "no phase B"},
        {FlexMode::Flex1600_2, {1, false, kFlexStandardNumeric, std::string(42, '1')}, "8 words"},
        {FlexMode::Flex1600_2, {1, false, kFlexShortMessage, "1234"}, "3 digits"},
        {FlexMode::Flex1600_2, {0, false, kFlexAlphanumeric, "x"}, "out of range"},
    };
    for (const Case& c : cases) {
        FlexFrame frame;
        frame.mode = c.mode;
        frame.pages = {c.page};
        FlexFrameWords words;
        std::string error;
        EXPECT_FALSE(BuildFlexFrameWords(frame, words, error)) << c.why;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
}

TEST(FlexEncoderTiming, EveryModeSendsAFrameIn1875Milliseconds) {
    for (const FlexMode mode : {FlexMode::Flex1600_2, FlexMode::Flex3200_2, FlexMode::Flex3200_4, FlexMode::Flex6400_4,
                                FlexMode::Reflex}) {
        FlexFrame frame;
        frame.mode = mode;
        SymbolStream stream;
        std::string error;
        ASSERT_TRUE(AppendFlexFrame(stream, frame, error)) << error;
        const double seconds = std::accumulate(stream.begin(), stream.end(), 0.0,
                                               [](double t, const TimedSymbol& s) { return t + s.seconds; });
        EXPECT_NEAR(seconds, 1.875, 1e-9) << FlexModeInfoOf(mode).name;
        const std::size_t data = FlexModeInfoOf(mode).symbolRate == 3200 ? 11 * 512 : 11 * 256;
        EXPECT_EQ(stream.size(), 184 + data);
        // Bit sync 32, sync 64, then a comma of plain reversals around the
        // frame information word (symbols 112..143).
        for (std::size_t i = 97; i < 184; ++i)
            EXPECT_TRUE((i >= 112 && i <= 144) || stream[i].symbol != stream[i - 1].symbol) << i;
        const bool fourLevel = FlexModeInfoOf(mode).levels == 4;
        bool middleLevels = false;
        for (const TimedSymbol& s : stream) middleLevels |= s.symbol == 1 || s.symbol == 2;
        EXPECT_EQ(middleLevels, fourLevel);
    }
}

std::vector<PageDescription> Descriptions(const std::vector<std::string>& descriptions) {
    std::vector<PageDescription> pages;
    for (const std::string& d : descriptions) {
        PageDescription page;
        std::string error;
        EXPECT_TRUE(ParsePageDescription(d, page, error)) << d << ": " << error;
        pages.push_back(page);
    }
    return pages;
}

std::vector<std::string> Decode(const SymbolStream& stream, int levels) {
    Settings settings;
    settings.Timestamp = 0;
    settings.FourLevelInterface = levels == 4;
    testing::TestRig rig(settings);
    ChannelOptions channel;
    channel.levels = levels;
    SymbolStream padded;
    AppendSilence(padded, 0, 0.05);
    padded.insert(padded.end(), stream.begin(), stream.end());
    rig.Feed(SymbolsToEdges(padded, channel));
    return rig.messageLines;
}

TEST(FlexGenerator, PageDescriptionsChooseVectorAddressAndFrames) {
    const ProtocolEntry* flex = FindProtocol("flex");
    ASSERT_NE(flex, nullptr);
    std::vector<std::string> descriptions = {
        "flex:6400/4:1234567:0:alpha:Hello", "flex:6400/4:1234:1:alpha:Hush",  "flex:6400/4:12:0:numeric:123",
        "flex:6400/4:13:1:numeric:456",      "flex:6400/4:14:2:numeric:78",     "flex:6400/4:000070000:0:tone:1234",
        "flex:6400/4:16:0:tone:",             "flex:6400/4:17:1:tone:",          "flex:6400/4:18:0:binary:C0FFEE",
    };
    // Enough long pages to spill into a second frame.
    for (int i = 0; i < 6; ++i) descriptions.push_back("flex:6400/4:1:0:alpha:" + std::string(150, static_cast<char>('a' + i)));
    SymbolStream stream;
    std::string error;
    ASSERT_TRUE(flex->encode(Descriptions(descriptions), EncodeOptions{}, stream, error)) << error;
    // One long alphanumeric page per frame; the others fit into the first.
    // Inside a frame the phases follow each other A, B, C, D.
    std::vector<std::string> expected = {
        "                 Cycle: 0 Frame: 0",
        "[0001234]    A SECURE  Hush",
        "[000070000]  A SH/TONE 1234    ",
        "[0000016]    A SH/TONE ",
        "[0000018]    A BINARY  C0FFEE0000",
        "[0000001]    A  ALPHA  " + std::string(150, 'a'),
        "[1234567]    B  ALPHA  Hello",
        "[0000012]    D ST NUM  123 ",
        "[0000013]    D SF NUM  456 ",
        "[0000014]    D NU NUM  78",
    };
    for (int i = 1; i < 6; ++i) {
        expected.push_back("                 Cycle: 0 Frame: " + std::to_string(i));
        expected.push_back("[0000001]    A  ALPHA  " + std::string(150, static_cast<char>('a' + i)));
    }
    EXPECT_EQ(Decode(stream, 4), expected);
}

TEST(FlexGenerator, ErrorWordsAreNumberedByFramePhaseAndWord) {
    const ProtocolEntry* flex = FindProtocol("flex");
    ASSERT_NE(flex, nullptr);
    const auto pages = Descriptions({"flex:3200/4:1:0:alpha:to A", "flex:3200/4:5:0:alpha:to B"});
    struct Case {
        std::vector<int> words;
        std::vector<std::string> lines;
    };
    const std::string row = "                 Cycle: 0 Frame: 0";
    const Case cases[] = {
        {{}, {row, "[0000001]    A  ALPHA  to A", "[0000005]    B  ALPHA  to B"}},
        {{0}, {row, "[0000005]    B  ALPHA  to B"}},   // phase A's BIW
        {{88}, {row, "[0000001]    A  ALPHA  to A"}},  // phase B's BIW
    };
    for (const Case& c : cases) {
        EncodeOptions options;
        options.errorWords = c.words;
        options.bitErrors = 1;
        SymbolStream stream;
        std::string error;
        ASSERT_TRUE(flex->encode(pages, options, stream, error)) << error;
        EXPECT_EQ(Decode(stream, 4), c.lines);
    }
}

TEST(FlexGenerator, RefusesBadDescriptions) {
    const ProtocolEntry* flex = FindProtocol("flex");
    ASSERT_NE(flex, nullptr);
    for (const char* d : {"flex:800/2:1:0:alpha:x", "flex:1600/2:0:0:alpha:x", "flex:1600/2:12345678901:0:alpha:x",
                          "flex:1600/2:1:2:alpha:x", "flex:1600/2:1:1:binary:AB", "flex:1600/2:1:0:numeric:12x"}) {
        SymbolStream stream;
        std::string error;
        EXPECT_FALSE(flex->encode(Descriptions({d}), EncodeOptions{}, stream, error)) << d;
        EXPECT_FALSE(error.empty()) << d;
    }
}

}  // namespace
}  // namespace tolvane::gen
