// The FLEX decoder end to end from the generator's frames, with damage the
// code corrects and damage it must not hide; and page writing from
// hand-made words a transmitter would not send.
#include "decoders/flex/flex_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/loopback.h"
#include "tools/gen/flex_encoder.h"

namespace tolvane {
namespace {

using gen::FlexFrame;
using gen::FlexFrameCodewords;
using gen::FlexMode;
using gen::FlexPage;
using testing::TestRig;

const std::string kFrameRow = "                 Cycle: 0 Frame: 0";

FlexFrameCodewords Codewords(const FlexFrame& frame) {
    gen::FlexFrameWords words;
    std::string error;
    EXPECT_TRUE(gen::BuildFlexFrameWords(frame, words, error)) << error;
    return gen::EncodeFlexCodewords(words);
}

FlexFrame Frame(std::vector<FlexPage> pages, FlexMode mode = FlexMode::Flex1600_2, int cycle = 0, int number = 0) {
    return {mode, cycle, number, 0, std::move(pages)};
}

gen::SymbolStream Stream(const std::vector<FlexFrameCodewords>& frames) {
    gen::SymbolStream stream;
    for (const FlexFrameCodewords& frame : frames) gen::AppendFlexFrame(stream, frame);
    return stream;
}

// Symbols through an engine reading as many levels as the channel sends.
std::unique_ptr<TestRig> Receive(const gen::SymbolStream& stream, Settings settings = testing::Untimed(),
                                 gen::ChannelOptions channel = {}) {
    channel.levels = settings.FourLevelInterface ? 4 : 2;
    return testing::Receive(testing::ToEdges(stream, channel, 0.05), settings);
}

int Colour(ColorClass c) { return static_cast<int>(c); }

// One page of every kind, with the line each one must give (no time stamp).
struct Expected {
    FlexPage page;
    std::string line;
};

std::vector<Expected> EveryKind() {
    using namespace gen;
    return {
        {{1234567, false, kFlexAlphanumeric, "Hello world"}, "[1234567]    B  ALPHA  Hello world"},
        // Seven digits take 30 bits of two words; the other 12 bits are spaces.
        {{1234, false, kFlexStandardNumeric, "5551234"}, "[0001234]    A ST NUM  5551234   "},
        {{0x1F9001, true, kFlexAlphanumeric, "Long one"}, "[002068481]  A  ALPHA  Long one"},
        {{9, false, kFlexShortMessage, "123"}, "[0000009]    C SH/TONE 123"},
        {{2068485, true, kFlexShortMessage, "12345678"}, "[002068485]  B SH/TONE 12345678"},
        {{13, false, kFlexSpecialNumeric, "911"}, "[0000013]    D SF NUM  911 "},
        {{100, false, kFlexNumberedNumeric, "42"}, "[0000100]    B NU NUM  42"},
        // Two 21-bit words hold ten hex digits; the unused ones are zero.
        {{200, false, kFlexBinary, "DEADBEEF"}, "[0000200]    C BINARY  DEADBEEF00"},
        {{300, false, kFlexSecure, "Secret"}, "[0000300]    D SECURE  Secret"},
        {{400, false, kFlexShortMessage, "", -1, 3, true}, "[0000400]    A SH/TONE "},
        {{70000, true, kFlexBinary, "0123456789ABCDEF"}, "[000070000]  A BINARY  0123456789ABCDEF00000"},
        {{123456789, true, kFlexNumberedNumeric, "31415926535"}, "[123456789]  B NU NUM  31415926535  "},
    };
}

// The frame of every kind and the lines it must give: the frame row, then
// the pages phase by phase in the order they were sent.
FlexFrame EveryKindFrame(FlexMode mode, int cycle, int number, std::vector<std::string>& lines) {
    FlexFrame frame = Frame({}, mode, cycle, number);
    lines.push_back("                 Cycle: " + std::to_string(cycle) + " Frame: " + std::to_string(number));
    for (int phase = 0; phase < 4; ++phase)
        for (const Expected& e : EveryKind())
            if (gen::FlexPagePhase(e.page, mode) == phase) lines.push_back(e.line);
    for (const Expected& e : EveryKind()) frame.pages.push_back(e.page);
    return frame;
}

struct ModeCase {
    FlexMode mode;
    int levels;  // of the interface
    const char* title;
    int category;
};

const ModeCase kFlexModes[] = {
    {FlexMode::Flex1600_2, 2, " Tolvane - FLEX 1600 2 Level", F1600},
    {FlexMode::Flex1600_2, 4, " Tolvane - FLEX 1600 2 Level", F1600},
    {FlexMode::Flex3200_2, 2, " Tolvane - FLEX 3200 2 Level", F3200},
    {FlexMode::Flex3200_4, 4, " Tolvane - FLEX 3200 4 Level", F3200},
    {FlexMode::Flex6400_4, 4, " Tolvane - FLEX 6400 4 Level", F6400},
};

enum class Damage { None, OneBitAnywhere, TwoInfoBits, SlowNoisyClock };

class FlexEndToEnd : public ::testing::TestWithParam<std::tuple<ModeCase, Damage>> {};

TEST_P(FlexEndToEnd, EveryPageKindComesThrough) {
    const auto& [mode, damage] = GetParam();
    std::vector<std::string> lines;
    FlexFrameCodewords codewords = Codewords(EveryKindFrame(mode.mode, 3, 77, lines));

    // Damage within what the code corrects. (One information bit plus one
    // check bit is not: the corrector reports it uncorrectable.)
    std::mt19937 rng(7);
    const auto flip = [&](std::uint32_t& codeword, int count, bool infoOnly) {
        const std::uint32_t flips = gen::FlipRandomBits(0, count, rng, infoOnly ? 21 : 32);
        codeword ^= infoOnly ? flips << 11 : flips;
    };
    gen::ChannelOptions channel;
    if (damage == Damage::SlowNoisyClock) channel = {-0.002, 0.08};
    if (damage == Damage::OneBitAnywhere || damage == Damage::TwoInfoBits) {
        flip(codewords.frameInfo, 1, false);
        for (auto& phase : codewords.phases)
            for (std::uint32_t& codeword : phase)
                flip(codeword, damage == Damage::OneBitAnywhere ? 1 : 2, damage == Damage::TwoInfoBits);
    }

    const auto rig = Receive(Stream({codewords}), testing::Untimed(mode.levels), channel);
    EXPECT_EQ(rig->messageLines, lines);
    EXPECT_EQ(rig->title.titles.at(0), mode.title);
    EXPECT_EQ(rig->title.Current(), " Tolvane");  // the hold ran out after the frame

    // Types 2, 3, 4, 7 are numeric messages, 0 and 5 alphanumeric; binary
    // pages and tone pages add no characters.
    StatCounters expected;
    const auto at = static_cast<std::size_t>(mode.category);
    expected.numericMsgs[at] = 7;
    expected.alphaMsgs[at] = 3;
    expected.numericChars[at] = 10 + 3 + 8 + 4 + 2 + 13;
    expected.alphaChars[at] = 11 + 8 + 6;
    EXPECT_EQ(rig->engine->Stats().HourlyStats, expected);
    EXPECT_EQ(rig->engine->Stats().DailyStats, expected);
    EXPECT_FALSE(rig->engine->Chain().FlexLock);
}

std::string EndToEndName(const ::testing::TestParamInfo<std::tuple<ModeCase, Damage>>& info) {
    static const char* const kDamage[] = {"Clean", "OneBitAnywhere", "TwoInfoBits", "SlowNoisyClock"};
    const ModeCase& m = std::get<0>(info.param);
    std::string name = gen::FlexModeInfoOf(m.mode).name;
    std::replace(name.begin(), name.end(), '/', '_');
    return "Mode" + name + "_Interface" + std::to_string(m.levels) + "_" + kDamage[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Modes, FlexEndToEnd,
                         ::testing::Combine(::testing::ValuesIn(kFlexModes),
                                            ::testing::Values(Damage::None, Damage::OneBitAnywhere, Damage::TwoInfoBits,
                                                              Damage::SlowNoisyClock)),
                         EndToEndName);

// Frames with odd capcodes, damaged block information words and damaged or
// unknown sync markers: the exact lines, and the first title shown.
struct FrameCase {
    const char* what;
    std::function<gen::SymbolStream()> send;
    std::vector<std::string> lines;
    const char* title = " Tolvane - FLEX 1600 2 Level";
    int levels = 2;
    std::vector<FilterRecord> filters = {};
    std::vector<std::string> filterLines = {};
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.what; }

class FlexFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FlexFrames, LinesAsExpected) {
    const FrameCase& c = GetParam();
    Settings settings = testing::Untimed(c.levels);
    settings.Filters = c.filters;
    const auto rig = Receive(c.send(), settings);
    EXPECT_EQ(rig->messageLines, c.lines);
    EXPECT_EQ(rig->filterLines, c.filterLines);
    EXPECT_EQ(rig->title.titles.empty() ? "" : rig->title.titles.front(), std::string(c.title));
}

// A damaged block information word: the checksum of phase A's broken by a
// further-BIW count, phase B's made uncorrectable. Only that phase is lost.
gen::SymbolStream BadBiw(int phase) {
    gen::FlexFrameWords words;
    std::string error;
    EXPECT_TRUE(gen::BuildFlexFrameWords(Frame({{1, false, kFlexAlphanumeric, "to A"}, {5, false, kFlexAlphanumeric, "to B"}},
                                               FlexMode::Flex3200_4), words, error));
    if (phase == 0) words.phases[0][0] ^= 0x100;
    FlexFrameCodewords codewords = gen::EncodeFlexCodewords(words);
    std::mt19937 rng(5);
    if (phase == 1) codewords.phases[1][0] = gen::MakeFlexUncorrectable(codewords.phases[1][0], rng);
    return Stream({codewords});
}

// After a 3200/2 frame, a marker with code 0x1234: a clean header of an
// unknown kind (code and complement exact) is shown and starts nothing; a
// damaged one starts a frame in the previous mode.
gen::SymbolStream UnknownAfterFrame(std::uint16_t complement) {
    FlexFrameCodewords odd = Codewords(Frame({{2, false, kFlexAlphanumeric, "second"}}, FlexMode::Flex3200_2, 0, 1));
    odd.syncCode = 0x1234;
    odd.syncComplement = complement;
    return Stream({Codewords(Frame({{1, false, kFlexAlphanumeric, "first"}}, FlexMode::Flex3200_2)), odd});
}

// Sync code and complement with bits flipped: up to four wrong bits are
// recognised; either way the marker starts a frame in the mode last seen,
// and as the halves are not complementary no unknown-header row is written.
FrameCase WrongSyncBits(std::uint16_t code, std::uint16_t complement, bool recognised) {
    return {"wrong sync bits",
            [=] {
                FlexFrameCodewords c = Codewords(Frame({{1, false, kFlexAlphanumeric, "x"}}));
                c.syncCode ^= code;
                c.syncComplement ^= complement;
                return Stream({c});
            },
            {kFrameRow, "[0000001]    A  ALPHA  x"},
            recognised ? " Tolvane - FLEX 1600 2 Level" : ""};
}

// Some transmitters open with resynchronisation cycles whose sync has a
// code of an unknown kind; each shows its row, and the frame behind them
// still comes through.
FrameCase LeadIn(FlexMode mode, int levels, int cycles, const char* title) {
    std::vector<std::string> lines;
    for (int i = 0; i < cycles; ++i) {
        lines.push_back("");
        lines.push_back("UNKNOWN SYNC HEADER : AAAA34DF34DFA6C6A6C6AAAAAAAACB20");
    }
    const FlexFrame frame = EveryKindFrame(mode, 7, 100, lines);
    return {"lead-in",
            [=] {
                gen::SymbolStream stream;
                gen::AppendFlexLeadIn(stream, cycles, 0x34DF);
                gen::AppendFlexFrame(stream, Codewords(frame));
                return stream;
            },
            lines, title, levels};
}

FilterRecord Filter(FilterType type, const char* capcode, const char* label, int reject) {
    FilterRecord f;
    f.type = type;
    f.capcode = capcode;
    f.label = label;
    f.reject = reject;
    return f;
}

const std::string kUnknownHeader = "UNKNOWN SYNC HEADER : AAAA12341234A6C6A6C6AAAAAAAAEDCB";

INSTANTIATE_TEST_SUITE_P(
    Damage, FlexFrames,
    ::testing::Values(
        FrameCase{"short and long capcodes",
                  [] {
                      return Stream({Codewords(Frame({
                          {1, false, kFlexAlphanumeric, "a"},          // address word 0x8001
                          {5, false, kFlexAlphanumeric, "b"},          // 0x8005: letter B
                          {0x1F9001, true, kFlexAlphanumeric, "c"},    // words 1 and 0x1FFFFF
                          {0x801F9001, true, kFlexAlphanumeric, "d"},  // negative as a signed capcode
                          {1933312, false, kFlexAlphanumeric, "e"},    // the largest short capcode
                          {19, false, kFlexAlphanumeric, "rejected"},
                          {999999999, true, kFlexAlphanumeric, "f"},
                      }))});
                  },
                  {kFrameRow, "[0000001]    A  ALPHA  a", "[0000005]    B  ALPHA  b", "[002068481]  A  ALPHA  c",
                   "[?????????]  A  ALPHA  d", "[1933312]    A  ALPHA  e", "[999999999]  D  ALPHA  f"},
                  " Tolvane - FLEX 1600 2 Level", 2,
                  {Filter(FilterType::LongFlex, "002068481", "Boss", 0), Filter(FilterType::ShortFlex, "00000?9", "", 1)},
                  {"[002068481]  Boss A  ALPHA  c"}},
        FrameCase{"BIW checksum of A", [] { return BadBiw(0); }, {kFrameRow, "[0000005]    B  ALPHA  to B"},
                  " Tolvane - FLEX 3200 4 Level", 4},
        FrameCase{"uncorrectable BIW of B", [] { return BadBiw(1); }, {kFrameRow, "[0000001]    A  ALPHA  to A"},
                  " Tolvane - FLEX 3200 4 Level", 4},
        FrameCase{"unknown header after a frame", [] { return UnknownAfterFrame(0xEDCB); },
                  {kFrameRow, "[0000001]    A  ALPHA  first", "", kUnknownHeader}, " Tolvane - FLEX 3200 2 Level"},
        FrameCase{"damaged header after a frame", [] { return UnknownAfterFrame(0xEDC0); },
                  {kFrameRow, "[0000001]    A  ALPHA  first", "                 Cycle: 0 Frame: 1",
                   "[0000002]    A  ALPHA  second"},
                  " Tolvane - FLEX 3200 2 Level"},
        // A damaged marker starts a frame in the previous mode; a real sync
        // within its countdown takes over.
        FrameCase{"real sync during a damaged one's countdown",
                  [] {
                      FlexFrameCodewords damaged = Codewords(Frame({{1, false, kFlexAlphanumeric, "real"}}));
                      damaged.syncCode = 0x0000;
                      damaged.syncComplement = 0x1111;
                      gen::SymbolStream stream = Stream({damaged});
                      stream.resize(gen::kFlexPreambleBits + 64);  // bit sync and sync only
                      gen::AppendFlexFrame(stream, Codewords(Frame({{1, false, kFlexAlphanumeric, "real"}}, FlexMode::Flex1600_2, 0, 5)), 16);
                      return stream;
                  },
                  {"                 Cycle: 0 Frame: 5", "[0000001]    A  ALPHA  real"}},
        WrongSyncBits(0x8001, 0, true), WrongSyncBits(0x0F00, 0, true), WrongSyncBits(0x0003, 0x0300, true),
        WrongSyncBits(0x1F00, 0, false), WrongSyncBits(0x0007, 0x0300, false), WrongSyncBits(0x0F0F, 0, false),
        LeadIn(FlexMode::Flex1600_2, 2, 32, kFlexModes[0].title), LeadIn(FlexMode::Flex3200_2, 2, 30, kFlexModes[2].title),
        LeadIn(FlexMode::Flex3200_4, 4, 40, kFlexModes[3].title), LeadIn(FlexMode::Flex6400_4, 4, 64, kFlexModes[4].title)));

// A dialog that switches FLEX off in the middle of a FLEX frame must not
// leave the other decoders locked out.
TEST(FlexSettings, SwitchingFlexOffReleasesItsLock) {
    TestRig rig(testing::Untimed());
    rig.engine->Chain().FlexLock = true;
    Settings next = rig.engine->settings();
    next.DecodeFlex = 0;
    rig.engine->ApplySettings(next);
    rig.Feed(testing::ToEdges(testing::Encode({"pocsag:1200:8:3:alpha:Hello there"})));
    ASSERT_EQ(rig.messageLines.size(), 1u);
    EXPECT_NE(rig.messageLines[0].find("Hello there"), std::string::npos) << rig.messageLines[0];
}

TEST(FlexSettings, FrameRowNumericMiscAndTimestamp) {
    const FlexFrame frame = Frame({{1234567, false, kFlexAlphanumeric, "Hello"}, {1234, false, kFlexStandardNumeric, "1234"},
                                   {200, false, kFlexBinary, "ABCDE"}, {300, false, kFlexInstruction, ""}},
                                  FlexMode::Flex1600_2, 9, 100);
    const std::string frameRow = "                 Cycle: 9 Frame: 100";
    const std::string alpha = "[1234567]    B  ALPHA  Hello";
    const std::string numeric = "[0001234]    A ST NUM  1234";
    const std::string binary = "[0000200]    C BINARY  ABCDE";
    struct Case {
        int showFrame, showNumeric, showMisc, timestamp;
        std::vector<std::string> lines;
        std::uint32_t numericChars;
    };
    const Case cases[] = {
        {1, 1, 1, 0, {frameRow, alpha, numeric, binary}, 4},
        {0, 1, 1, 0, {alpha, numeric, binary}, 4},
        {1, 0, 1, 0, {frameRow, alpha, binary}, 0},
        {1, 1, 0, 0, {frameRow, alpha, numeric}, 4},
        {1, 1, 1, 1, {frameRow, "[1234567]   12:00:00 B  ALPHA  Hello", "[0001234]   12:00:00 A ST NUM  1234",
                      "[0000200]   12:00:00 C BINARY  ABCDE"}, 4},
    };
    for (const Case& c : cases) {
        Settings s = testing::Untimed();
        s.ShowFrame = c.showFrame;
        s.ShowNumeric = c.showNumeric;
        s.ShowMisc = c.showMisc;
        s.Timestamp = c.timestamp;
        const auto rig = Receive(Stream({Codewords(frame)}), s);
        EXPECT_EQ(rig->messageLines, c.lines) << c.showFrame << c.showNumeric << c.showMisc << c.timestamp;
        // A hidden numeric page is still counted as a message.
        EXPECT_EQ(rig->engine->Stats().HourlyStats.numericMsgs[F1600], 1u);
        EXPECT_EQ(rig->engine->Stats().HourlyStats.numericChars[F1600], c.numericChars);
        EXPECT_EQ(rig->engine->Stats().HourlyStats.alphaMsgs[F1600], 1u);
    }
}

// Text and digits from an uncorrectable word are shown in the bit-error
// colour; so is a digit straddling into it.
TEST(FlexDamage, UncorrectableWordsAreShownInTheBitErrorColour) {
    FlexFrameCodewords codewords = Codewords(
        Frame({{1234, false, kFlexAlphanumeric, "Hello world!"}, {1235, false, kFlexStandardNumeric, "0123456789"}}));
    // Words: BIW, two addresses, two vectors, alpha header 5, text 6..10
    // (signature + "He", "llo", " wo", "rld", "!"), numeric 11..12.
    std::mt19937 rng(3);
    codewords.phases[0][7] = gen::MakeFlexUncorrectable(codewords.phases[0][7], rng);
    codewords.phases[0][12] = gen::MakeFlexUncorrectable(codewords.phases[0][12], rng);
    const auto rig = Receive(Stream({codewords}));
    const std::string alpha = "[0001234]    A  ALPHA  Hello world!";
    const std::string numeric = "[0001235]    A ST NUM  0123456789";
    EXPECT_EQ(rig->messageLines, (std::vector<std::string>{kFrameRow, alpha, numeric}));

    const int ok = Colour(ColorClass::Alphanumeric);
    const int bad = Colour(ColorClass::BitErrors);
    const int num = Colour(ColorClass::Numeric);
    const std::vector<int> colours = testing::RowColours(*rig, alpha);
    ASSERT_EQ(colours.size(), alpha.size());
    EXPECT_EQ(std::vector<int>(colours.begin() + 23, colours.end()),
              (std::vector<int>{ok, ok, bad, bad, bad, ok, ok, ok, ok, ok, ok, ok}));
    EXPECT_EQ(colours[0], Colour(ColorClass::Capcode));
    EXPECT_EQ(colours[13], Colour(ColorClass::FLEXPhase));
    EXPECT_EQ(colours[16], Colour(ColorClass::FLEXFormat));
    const std::vector<int> digits = testing::RowColours(*rig, numeric);
    ASSERT_EQ(digits.size(), numeric.size());
    EXPECT_EQ(std::vector<int>(digits.begin() + 23, digits.end()),
              (std::vector<int>{num, num, num, num, bad, bad, bad, bad, bad, bad}));
}

TEST(Reflex, RawDumpOfAllPhases) {
    FlexFrameCodewords codewords = Codewords(Frame({{1, false, 0, "Hello world"}, {2, false, 0, "Second"}}, FlexMode::Reflex));
    std::mt19937 rng(11);
    codewords.phases[3][1] = gen::MakeFlexUncorrectable(codewords.phases[3][1], rng);  // "ld "
    const auto rig = Receive(Stream({codewords}), testing::Untimed(4));
    // Word 0 of phase A (0x00040B) is the head; as characters it gives
    // 0x0B, 0x08 and a NUL, which is left out.
    const std::string dump = "[00040B]\x0B\x08Hello world Second";
    EXPECT_EQ(rig->messageLines, (std::vector<std::string>{kFrameRow, dump}));
    EXPECT_EQ(rig->title.titles.at(0), " Tolvane - ReFLEX ABCD 3200 4 Level");
    const std::vector<int> colours = testing::RowColours(*rig, dump);
    ASSERT_EQ(colours.size(), dump.size());
    EXPECT_EQ(colours[0], Colour(ColorClass::FLEXFormat));
    EXPECT_EQ(colours[19], Colour(ColorClass::BitErrors));
    EXPECT_EQ(colours[18], Colour(ColorClass::Alphanumeric));
    EXPECT_EQ(rig->engine->Stats().HourlyStats, StatCounters{});
}

// The comma of plain reversals after the frame information word reads
// like the sync marker for some cycle and frame numbers; none of them may
// restart the frame timing.
TEST(FlexSync, EveryCycleAndFrameNumberBehindAPlainComma) {
    TestRig rig(testing::Untimed());
    std::vector<std::string> expected;
    for (int cycle = 0; cycle < 16; ++cycle) {
        for (int number = 0; number < 128; ++number) {
            const std::string text = std::to_string(cycle * 128 + number);
            gen::SymbolStream stream;
            std::string error;
            ASSERT_TRUE(gen::AppendFlexFrame(stream, Frame({{1, false, kFlexAlphanumeric, text}}, FlexMode::Flex1600_2,
                                                           cycle, number), error)) << error;
            for (const gen::TimedSymbol& s : stream) rig.engine->Flex().FlexInputSymbol(s.symbol);
            expected.push_back("                 Cycle: " + std::to_string(cycle) + " Frame: " + std::to_string(number));
            expected.push_back("[0000001]    A  ALPHA  " + text);
        }
    }
    EXPECT_EQ(rig.messageLines, expected);
}

// Page writing from hand-made words, for what a transmitter would not send.
class FlexWords : public ::testing::Test {
protected:
    FlexWords() : ctx_{rig_.engine->settings(), rig_.engine->Chain(), rig_.engine->Title(), rig_.engine->Codeword(),
                       rig_.engine->output(), rig_.engine->Stats(), rig_.clock} {
        rig_.engine->settings().Timestamp = 0;
    }
    static std::int32_t Checked(std::uint32_t w) { return static_cast<std::int32_t>(gen::FlexWithChecksum(w)); }
    static std::int32_t Biw(int further, int vectorStart) {
        return Checked(static_cast<std::uint32_t>(further) << 8 | static_cast<std::uint32_t>(vectorStart) << 10);
    }
    static std::int32_t Vector(int type, int start, int length) {
        return Checked(static_cast<std::uint32_t>(type) << 4 | static_cast<std::uint32_t>(start) << 7 |
                       static_cast<std::uint32_t>(length) << 14);
    }
    static std::int32_t Chars(int a, int b, int c) { return a | b << 7 | c << 14; }
    std::vector<std::string> Decode() {
        FlexPageWriter writer(ctx_);
        writer.FlexDecodeFrame(phase_, F1600);
        return rig_.messageLines;
    }
    TestRig rig_;
    DecoderContext ctx_;
    FlexPhase phase_;
};

TEST_F(FlexWords, BadVectorSkipsOnlyItsPageAndLongAddressesStepTwo) {
    // Further BIW in word 1; addresses: long 2..3, short 4; vectors 5..7.
    phase_.words[0] = Biw(1, 5);
    phase_.words[1] = Checked(0);
    phase_.words[2] = 1;
    phase_.words[3] = 0x1FFFFF;
    phase_.words[4] = 0x8002;
    phase_.words[5] = Vector(5, 8, 2) ^ 1;  // broken checksum
    phase_.words[6] = 3 << 11;              // its second vector word
    phase_.words[7] = Vector(3, 9, 0);
    phase_.words[9] = 0x55554;  // digits after two prefix bits: 5 5 5 5
    EXPECT_EQ(Decode(), std::vector<std::string>{"[0000002]    A ST NUM  5555"});
}

TEST_F(FlexWords, MessageWordsPastTheArrayReadAsZero) {
    phase_.words[0] = Biw(0, 2);
    phase_.words[1] = 0x8001;
    phase_.words[2] = Vector(5, 127, 127);  // names words 127..253
    phase_.words[127] = 0;                  // header: fragment 0
    phase_.words[198] = Chars('e', 'n', 'd');
    phase_.words[199] = Chars('!', 3, 3);
    EXPECT_EQ(Decode(), std::vector<std::string>{"[0000001]    A  ALPHA  end!"});
}

TEST_F(FlexWords, FillCharactersAndFragments) {
    phase_.words[0] = Biw(0, 3);
    phase_.words[1] = 0x8001;
    phase_.words[2] = 0x8002;
    phase_.words[3] = Vector(5, 5, 3);
    phase_.words[4] = Vector(5, 8, 2);
    phase_.words[5] = 3 << 11;  // complete message: its first character is a signature
    phase_.words[6] = Chars('#', 'a', 3);
    phase_.words[7] = Chars(3, 'b', 'c');
    phase_.words[8] = 1 << 11;  // a fragment: every character is text
    phase_.words[9] = Chars('x', 'y', 0);
    EXPECT_EQ(Decode(), (std::vector<std::string>{"[0000001]    A  ALPHA  abc", "[0000002]    A  ALPHA  xy"}));
    EXPECT_EQ(rig_.engine->Stats().HourlyStats.alphaChars[F1600], 5u);
}

}  // namespace
}  // namespace tolvane
