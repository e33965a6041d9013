// The FLEX decoder end to end from the generator's frames, with damage the
// code corrects and damage it must not hide; and page writing from
// hand-made words a transmitter would not send.
#include "decoders/flex/flex_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "decoders/bch/bch.h"
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

// Symbols through an engine reading as many levels as the channel sends;
// bit-error runs are marked in the lines.
std::unique_ptr<testing::MarkingRig> Receive(const gen::SymbolStream& stream, Settings settings = testing::Untimed(),
                                 gen::ChannelOptions channel = {}) {
    channel.levels = settings.FourLevelInterface ? 4 : 2;
    return testing::ReceiveMarked(testing::ToEdges(stream, channel, 0.05), settings);
}

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
    int leadIn;  // resynchronisation cycles before the frame
};

const ModeCase kFlexModes[] = {
    {FlexMode::Flex1600_2, 2, " Tolvane - FLEX 1600 2 Level", F1600, 32},
    {FlexMode::Flex1600_2, 4, " Tolvane - FLEX 1600 2 Level", F1600, 0},
    {FlexMode::Flex3200_2, 2, " Tolvane - FLEX 3200 2 Level", F3200, 30},
    {FlexMode::Flex3200_4, 4, " Tolvane - FLEX 3200 4 Level", F3200, 40},
    {FlexMode::Flex6400_4, 4, " Tolvane - FLEX 6400 4 Level", F6400, 64},
};

void PrintTo(const ModeCase& m, std::ostream* os) { *os << m.title << " on " << m.levels << " levels"; }

enum class Damage { None, OneBitAnywhere, TwoInfoBits, SlowNoisyClock };

class FlexEndToEnd : public ::testing::TestWithParam<std::tuple<ModeCase, Damage>> {};

TEST_P(FlexEndToEnd, EveryPageKindComesThrough) {
    const auto& [mode, damage] = GetParam();
    // Some transmitters open with resynchronisation cycles whose sync has a
    // code of an unknown kind; each shows its row.
    std::vector<std::string> lines;
    for (int i = 0; i < mode.leadIn; ++i)
        lines.insert(lines.end(), {"", "UNKNOWN SYNC HEADER : AAAA34DF34DFA6C6A6C6AAAAAAAACB20"});
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

    // What a transmitter sends: a frame of 1875 ms, plain reversals around
    // the frame information word (symbols 112..143), inner levels only in
    // four-level modes.
    const gen::SymbolStream stream = Stream({codewords});
    EXPECT_NEAR(std::accumulate(stream.begin(), stream.end(), 0.0,
                                [](double t, const gen::TimedSymbol& s) { return t + s.seconds; }),
                1.875, 1e-9);
    for (std::size_t i = 97; i < 184; ++i)
        EXPECT_TRUE((i >= 112 && i <= 144) || stream[i].symbol != stream[i - 1].symbol) << i;
    EXPECT_EQ(std::any_of(stream.begin(), stream.end(), [](const gen::TimedSymbol& s) { return s.symbol % 3 != 0; }),
              gen::FlexModeInfoOf(mode.mode).levels == 4);

    gen::SymbolStream sent;
    gen::AppendFlexLeadIn(sent, mode.leadIn, 0x34DF);
    sent.insert(sent.end(), stream.begin(), stream.end());
    const auto rig = Receive(sent, testing::Untimed(mode.levels), channel);
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
    EXPECT_FALSE(rig->engine->Recovery().Clocks().FlexLock);
}

INSTANTIATE_TEST_SUITE_P(Modes, FlexEndToEnd,
                         ::testing::Combine(::testing::ValuesIn(kFlexModes),
                                            ::testing::Values(Damage::None, Damage::OneBitAnywhere, Damage::TwoInfoBits,
                                                              Damage::SlowNoisyClock)));

// Frames with odd capcodes, damaged block information words and damaged or
// unknown sync markers: the exact lines, and the first title shown.
struct FrameCase {
    const char* what;
    std::function<gen::SymbolStream()> send;
    std::vector<std::string> lines;
    const char* title = " Tolvane - FLEX 1600 2 Level";
    int levels = 2;
    void (*tweak)(Settings&) = nullptr;
    std::vector<std::string> filterLines = {};
    int numericMsgs = -1;  // counted, shown or not; -1: not checked
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.what; }

class FlexFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FlexFrames, LinesAsExpected) {
    const FrameCase& c = GetParam();
    Settings settings = testing::Untimed(c.levels);
    if (c.tweak != nullptr) c.tweak(settings);
    const auto rig = Receive(c.send(), settings);
    EXPECT_EQ(rig->messageLines, c.lines);
    EXPECT_EQ(rig->filterLines, c.filterLines);
    EXPECT_EQ(rig->title.titles.empty() ? "" : rig->title.titles.front(), std::string(c.title));
    if (c.numericMsgs >= 0) {
        EXPECT_EQ(rig->engine->Stats().HourlyStats.numericMsgs[F1600], static_cast<std::uint32_t>(c.numericMsgs));
    }
}

// A block information word whose checksum a further-BIW count breaks:
// only its phase is lost. (The generator's error words make one
// uncorrectable.)
gen::SymbolStream BadBiwChecksum() {
    gen::FlexFrameWords words;
    std::string error;
    EXPECT_TRUE(gen::BuildFlexFrameWords(Frame({{1, false, kFlexAlphanumeric, "to A"}, {5, false, kFlexAlphanumeric, "to B"}},
                                               FlexMode::Flex3200_4), words, error));
    words.phases[0][0] ^= 0x100;
    return Stream({gen::EncodeFlexCodewords(words)});
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

// Noise can look like the marker with a code of no known kind. The frame it
// starts, in the mode last seen, gives way to a real sync within its
// countdown or during its blocks.
gen::SymbolStream NoiseThenReal(int symbolsPastHeader) {
    FlexFrameCodewords noise = Codewords(Frame({{1, false, kFlexAlphanumeric, "real"}}));
    noise.syncCode = 0x0000;
    noise.syncComplement = 0x1111;
    gen::SymbolStream stream = Stream({noise});
    stream.resize(gen::kFlexPreambleBits + 64);  // bit sync and sync only
    for (int i = 0; i < symbolsPastHeader; ++i)
        gen::AppendSymbols(stream, static_cast<std::uint8_t>(i % 3 == 0 ? 3 : 0), 1600);
    const FlexFrame real = Frame({{1, false, kFlexAlphanumeric, "real"}}, FlexMode::Flex1600_2, 0, 5);
    gen::AppendFlexFrame(stream, Codewords(real), 16);
    return stream;
}

const std::vector<std::string> kRealLines = {"                 Cycle: 0 Frame: 5", "[0000001]    A  ALPHA  real"};

// Four bit errors can leave a codeword two bits from another one, which
// correction reports as fixed. A whole message's signature shows such a
// text word; an address "corrected" beside a word beyond correction is not
// trusted either. Neither page may look clean. `word` of phase A is turned
// into its neighbour (1 the address, 5 text); `beyond`, if not -1, is made
// uncorrectable.
gen::SymbolStream Miscorrected(const char* text, std::size_t word, int beyond) {
    // A codeword of weight 6 with two information bits (bits 11..31): the
    // other four flipped leave a word two information bits from another.
    std::uint32_t x = 1, six = 0;
    for (; std::popcount(six = BchEncode(x)) != 6 || std::popcount(x) < 2; ++x) {}
    const std::uint32_t low = (x << 11) & ((x << 11) - 1);
    FlexFrameCodewords c = Codewords(Frame({{1234567, false, kFlexAlphanumeric, text}}));
    c.phases[0][word] ^= six ^ (x << 11) ^ (low & (low - 1));
    std::mt19937 rng(1);
    if (beyond >= 0) {
        std::uint32_t& w = c.phases[0][static_cast<std::size_t>(beyond)];
        w = gen::MakeFlexUncorrectable(w, rng);
    }
    return Stream({c});
}

// Hand-made words, for what a transmitter would not send.
std::uint32_t Biw(int further, int vectorStart) {
    return gen::FlexWithChecksum(static_cast<std::uint32_t>(further) << 8 |
                                 static_cast<std::uint32_t>(vectorStart) << 10);
}
std::uint32_t Vector(int type, int start, int length) {
    return gen::FlexWithChecksum(static_cast<std::uint32_t>(type) << 4 | static_cast<std::uint32_t>(start) << 7 |
                                 static_cast<std::uint32_t>(length) << 14);
}
std::uint32_t Chars(int a, int b, int c) { return static_cast<std::uint32_t>(a | b << 7 | c << 14); }

// A 1600/2 frame whose phase A holds these words (index, value), the rest 0.
gen::SymbolStream HandMade(const std::vector<std::pair<std::size_t, std::uint32_t>>& words) {
    gen::FlexFrameWords frame;
    std::string error;
    EXPECT_TRUE(gen::BuildFlexFrameWords(Frame({}), frame, error)) << error;
    frame.phases[0] = {};
    for (const auto& [at, value] : words) frame.phases[0][at] = value;
    return Stream({gen::EncodeFlexCodewords(frame)});
}

const FlexFrame kSettingsFrame = Frame({{1234567, false, kFlexAlphanumeric, "Hello"}, {1234, false, kFlexStandardNumeric, "1234"},
                                        {200, false, kFlexBinary, "ABCDE"}, {300, false, kFlexInstruction, ""}},
                                       FlexMode::Flex1600_2, 9, 100);

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
                  [](Settings& s) {
                      s.Filters = {FilterRecord{FilterType::LongFlex, "002068481", 0, "Boss", "", 0, 0, 0},
                                   FilterRecord{FilterType::ShortFlex, "00000?9", 0, "", "", 0, 0, 1}};
                  },
                  {"[002068481]  Boss A  ALPHA  c"}},
        // Frame rows, numeric and binary pages are shown as the settings say
        // (those pages only for 1); a hidden numeric page is still counted.
        FrameCase{"frame row and numeric pages hidden, time stamps on", [] { return Stream({Codewords(kSettingsFrame)}); },
                  {"[1234567]   12:00:00 B  ALPHA  Hello", "[0000200]   12:00:00 C BINARY  ABCDE"},
                  " Tolvane - FLEX 1600 2 Level", 2,
                  [](Settings& s) {
                      s.ShowFrame = 0;
                      s.ShowNumeric = 2;
                      s.Timestamp = 1;
                  },
                  {}, 1},
        FrameCase{"binary pages hidden", [] { return Stream({Codewords(kSettingsFrame)}); },
                  {"                 Cycle: 9 Frame: 100", "[1234567]    B  ALPHA  Hello", "[0001234]    A ST NUM  1234"},
                  " Tolvane - FLEX 1600 2 Level", 2, [](Settings& s) { s.ShowMisc = 2; }, {}, 1},
        FrameCase{"BIW checksum of A", BadBiwChecksum, {kFrameRow, "[0000005]    B  ALPHA  to B"},
                  " Tolvane - FLEX 3200 4 Level", 4},
        FrameCase{"unknown header after a frame", [] { return UnknownAfterFrame(0xEDCB); },
                  {kFrameRow, "[0000001]    A  ALPHA  first", "", kUnknownHeader}, " Tolvane - FLEX 3200 2 Level"},
        FrameCase{"damaged header after a frame", [] { return UnknownAfterFrame(0xEDC0); },
                  {kFrameRow, "[0000001]    A  ALPHA  first", "                 Cycle: 0 Frame: 1",
                   "[0000002]    A  ALPHA  second"},
                  " Tolvane - FLEX 3200 2 Level"},
        FrameCase{"real sync within a guessed frame's countdown", [] { return NoiseThenReal(0); }, kRealLines},
        FrameCase{"real sync within a guessed frame's blocks", [] { return NoiseThenReal(300); }, kRealLines},
        FrameCase{"text word corrected into another", [] { return Miscorrected("Signed text", 5, -1); },
                  {kFrameRow, "[1234567]    B  ALPHA  \u00abSign.d text\u00bb"}},
        FrameCase{"address corrected beside a word beyond correction", [] { return Miscorrected("Hi", 1, 6); },
                  {kFrameRow, "[???????]    B  ALPHA  Hi"}},
        // Further BIW in word 1; addresses: long 2..3, short 4; vectors 5..7.
        FrameCase{"a bad vector skips only its page; long addresses step two",
                  [] {
                      return HandMade({{0, Biw(1, 5)}, {1, gen::FlexWithChecksum(0)}, {2, 1}, {3, 0x1FFFFF},
                                       {4, 0x8002},
                                       {5, Vector(5, 8, 2) ^ 1},  // broken checksum
                                       {6, 3 << 11},              // its second vector word
                                       {7, Vector(3, 9, 0)},
                                       {9, 0x55554}});  // digits after two prefix bits: 5 5 5 5
                  },
                  {kFrameRow, "[0000002]    A ST NUM  5555"}},
        FrameCase{"fill characters and fragments",
                  [] {
                      return HandMade({{0, Biw(0, 3)}, {1, 0x8001}, {2, 0x8002}, {3, Vector(5, 5, 3)},
                                       {4, Vector(5, 8, 2)},
                                       {5, 3 << 11},  // complete message: a signature, the complement of the sum, first
                                       {6, Chars('Y', 'a', 3)}, {7, Chars(3, 'b', 'c')},
                                       {8, 1 << 11},  // a last fragment without its beginning: all text
                                       {9, Chars('x', 'y', 0)}});
                  },
                  {kFrameRow, "[0000001]    A  ALPHA  abc", "[0000002]    A  ALPHA  (incomplete) xy"}},
        WrongSyncBits(0x8001, 0, true), WrongSyncBits(0x0F00, 0, true), WrongSyncBits(0x0003, 0x0300, true),
        WrongSyncBits(0x1F00, 0, false), WrongSyncBits(0x0007, 0x0300, false), WrongSyncBits(0x0F0F, 0, false),
        // Text and digits from an uncorrectable word are marked; so is a
        // digit straddling into it.
        FrameCase{"uncorrectable words",
                  [] {
                      FlexFrameCodewords c = Codewords(Frame({{1234, false, kFlexAlphanumeric, "Hello world!"},
                                                              {1235, false, kFlexStandardNumeric, "0123456789"}}));
                      // Words: BIW, two addresses, two vectors, alpha header 5, text 6..10
                      // (signature + "He", "llo", " wo", "rld", "!"), numeric 11..12.
                      std::mt19937 rng(3);
                      c.phases[0][7] = gen::MakeFlexUncorrectable(c.phases[0][7], rng);
                      c.phases[0][12] = gen::MakeFlexUncorrectable(c.phases[0][12], rng);
                      return Stream({c});
                  },
                  {kFrameRow, "[0001234]    A  ALPHA  He\u00abllo\u00bb world!", "[0001235]    A ST NUM  0123\u00ab456789\u00bb"}},
        // ReFLEX frames are dumped raw. Word 0 of phase A (0x00040B) is the
        // head; as characters it gives 0x0B, 0x08 and a NUL, which is left out.
        FrameCase{"ReFLEX dump",
                  [] {
                      FlexFrameCodewords c = Codewords(Frame({{1, false, 0, "Hello world"}, {2, false, 0, "Second"}}, FlexMode::Reflex));
                      std::mt19937 rng(11);
                      c.phases[3][1] = gen::MakeFlexUncorrectable(c.phases[3][1], rng);  // "ld "
                      return Stream({c});
                  },
                  {kFrameRow, "[00040B]..Hello wor\u00abld \u00bbSecond"}, " Tolvane - ReFLEX ABCD 3200 4 Level", 4}));

// Vectors may name message words up to 253; those past the array read as
// zero, which no frame from the air can show.
TEST(FlexWords, MessageWordsPastTheArrayReadAsZero) {
    TestRig rig(testing::Untimed());
    DecoderContext ctx{rig.engine->settings(), rig.engine->Recovery(), rig.engine->Codeword(),
                       rig.engine->output().Writer(), rig.engine->Stats(), rig.clock};
    FlexPhase phase;
    for (const auto& [at, value] : std::vector<std::pair<std::size_t, std::uint32_t>>{
             {0, Biw(0, 2)}, {1, 0x8001}, {2, Vector(5, 127, 127)}, {198, Chars('e', 'n', 'd')},
             {199, Chars('!', 3, 3)}})
        phase.words[at] = static_cast<std::int32_t>(value);
    FlexPageWriter(ctx).FlexDecodeFrame(phase, F1600);
    // The zero header reads as a last fragment whose beginning never came.
    EXPECT_EQ(rig.messageLines, std::vector<std::string>{"[0000001]    A  ALPHA  (incomplete) end!"});
}

// A dialog that switches FLEX off in the middle of a FLEX frame must not
// leave the other decoders locked out.
TEST(FlexSettings, SwitchingFlexOffReleasesItsLock) {
    TestRig rig(testing::Untimed());
    rig.engine->Recovery().LockFlex(mode_code::Flex1600_2);
    Settings next = rig.engine->settings();
    next.DecodeFlex = 0;
    rig.engine->ApplySettings(next);
    rig.Feed(testing::ToEdges(testing::Encode({"pocsag:1200:8:3:alpha:Hello there"})));
    ASSERT_EQ(rig.messageLines.size(), 1u);
    EXPECT_NE(rig.messageLines[0].find("Hello there"), std::string::npos) << rig.messageLines[0];
}

}  // namespace
}  // namespace tolvane
