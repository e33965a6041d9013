#include "decoders/flex/flex_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/fake_world.h"
#include "tools/gen/flex_encoder.h"

namespace tolvane {
namespace {

using gen::FlexFrame;
using gen::FlexFrameCodewords;
using gen::FlexFrameWords;
using gen::FlexMode;
using gen::FlexPage;
using testing::TestRig;

Settings QuietSettings(int levels) {
    Settings s;
    s.Timestamp = 0;
    s.FourLevelInterface = levels == 4 ? 1 : 0;
    return s;
}

FlexFrameWords Words(const FlexFrame& frame) {
    FlexFrameWords words;
    std::string error;
    EXPECT_TRUE(gen::BuildFlexFrameWords(frame, words, error)) << error;
    return words;
}

struct Channel {
    double rateError = 0;
    double jitter = 0;
};

// Sends symbols, between two short silences, through an engine.
std::unique_ptr<TestRig> ReceiveStream(const gen::SymbolStream& body, const Settings& settings, Channel channel = {}) {
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, 0.05);
    stream.insert(stream.end(), body.begin(), body.end());
    gen::AppendSilence(stream, 0, 0.05);
    gen::ChannelOptions options;
    options.levels = settings.FourLevelInterface ? 4 : 2;
    options.rateError = channel.rateError;
    options.jitter = channel.jitter;
    auto rig = std::make_unique<TestRig>(settings);
    rig->Feed(gen::SymbolsToEdges(stream, options));
    return rig;
}

// Sends frames back to back.
std::unique_ptr<TestRig> Receive(const std::vector<FlexFrameCodewords>& frames, const Settings& settings,
                                 Channel channel = {}) {
    gen::SymbolStream stream;
    for (const FlexFrameCodewords& frame : frames) gen::AppendFlexFrame(stream, frame);
    return ReceiveStream(stream, settings, channel);
}

std::unique_ptr<TestRig> Receive(const FlexFrame& frame, const Settings& settings, Channel channel = {}) {
    return Receive(std::vector<FlexFrameCodewords>{gen::EncodeFlexCodewords(Words(frame))}, settings, channel);
}

// The colour classes of the message-pane row whose text is `text`.
std::vector<int> RowColours(const TestRig& rig, const std::string& text) {
    const TextPane& pane = rig.engine->output().MessagePane;
    for (std::uint32_t r = 0; r < pane.row; ++r) {
        if (pane.RowText(r) != text) continue;
        return std::vector<int>(pane.AttrsOfRow(r), pane.AttrsOfRow(r) + text.size());
    }
    ADD_FAILURE() << "no row " << text;
    return {};
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

// The lines a frame must give: frame row, then the pages phase by phase in
// the order they were sent.
std::vector<std::string> ExpectedLines(const std::vector<Expected>& pages, FlexMode mode, int cycle, int frame) {
    std::vector<std::string> lines = {"                 Cycle: " + std::to_string(cycle) + " Frame: " + std::to_string(frame)};
    for (int phase = 0; phase < 4; ++phase)
        for (const Expected& e : pages)
            if (gen::FlexPagePhase(e.page, mode) == phase) lines.push_back(e.line);
    return lines;
}

FlexFrame FrameOf(const std::vector<Expected>& pages, FlexMode mode, int cycle, int frame) {
    FlexFrame f;
    f.mode = mode;
    f.cycle = cycle;
    f.frame = frame;
    for (const Expected& e : pages) f.pages.push_back(e.page);
    return f;
}

struct ModeCase {
    FlexMode mode;
    int interfaceLevels;
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

struct EndToEndCase {
    ModeCase mode;
    Damage damage;
};

std::string EndToEndName(const ::testing::TestParamInfo<EndToEndCase>& info) {
    static const char* const kDamage[] = {"Clean", "OneBitAnywhere", "TwoInfoBits", "SlowNoisyClock"};
    std::string name = gen::FlexModeInfoOf(info.param.mode.mode).name;
    std::replace(name.begin(), name.end(), '/', '_');
    return "Mode" + name + "_Interface" + std::to_string(info.param.mode.interfaceLevels) + "_" +
           kDamage[static_cast<int>(info.param.damage)];
}

class FlexEndToEnd : public ::testing::TestWithParam<EndToEndCase> {};

TEST_P(FlexEndToEnd, EveryPageKindComesThrough) {
    const EndToEndCase& c = GetParam();
    const std::vector<Expected> pages = EveryKind();
    FlexFrameCodewords codewords = gen::EncodeFlexCodewords(Words(FrameOf(pages, c.mode.mode, 3, 77)));

    // Damage within what the code corrects. (One information bit plus one
    // check bit is not: the corrector reports it uncorrectable.) The frame
    // row is only shown for at most one error.
    std::mt19937 rng(7);
    const auto flip = [&](std::uint32_t& codeword, int count, bool infoOnly) {
        const std::uint32_t flips = gen::FlipRandomBits(0, count, rng, infoOnly ? 21 : 32);
        codeword ^= infoOnly ? flips << 11 : flips;
    };
    Channel channel;
    if (c.damage == Damage::SlowNoisyClock) channel = {-0.002, 0.08};
    if (c.damage == Damage::OneBitAnywhere || c.damage == Damage::TwoInfoBits) {
        flip(codewords.frameInfo, 1, false);
        for (auto& phase : codewords.phases)
            for (std::uint32_t& codeword : phase)
                flip(codeword, c.damage == Damage::OneBitAnywhere ? 1 : 2, c.damage == Damage::TwoInfoBits);
    }

    const auto rig = Receive({codewords}, QuietSettings(c.mode.interfaceLevels), channel);
    EXPECT_EQ(rig->messageLines, ExpectedLines(pages, c.mode.mode, 3, 77));
    ASSERT_GE(rig->title.titles.size(), 2u);
    EXPECT_EQ(rig->title.titles[0], c.mode.title);
    EXPECT_EQ(rig->title.Current(), " Tolvane");  // the hold ran out after the frame

    // Types 2, 3, 4, 7 are numeric messages, 0 and 5 alphanumeric; binary
    // pages and tone pages add no characters.
    StatCounters expected;
    const auto at = static_cast<std::size_t>(c.mode.category);
    expected.numericMsgs[at] = 7;
    expected.alphaMsgs[at] = 3;
    expected.numericChars[at] = 10 + 3 + 8 + 4 + 2 + 13;
    expected.alphaChars[at] = 11 + 8 + 6;
    EXPECT_EQ(rig->engine->Stats().HourlyStats, expected);
    EXPECT_EQ(rig->engine->Stats().DailyStats, expected);
    EXPECT_FALSE(rig->engine->Chain().FlexLock);
}

std::vector<EndToEndCase> EndToEndCases() {
    std::vector<EndToEndCase> cases;
    for (const ModeCase& m : kFlexModes)
        for (const Damage d : {Damage::None, Damage::OneBitAnywhere, Damage::TwoInfoBits, Damage::SlowNoisyClock})
            cases.push_back({m, d});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Modes, FlexEndToEnd, ::testing::ValuesIn(EndToEndCases()), EndToEndName);

TEST(FlexCapcodes, ShortAndLongFieldsLettersAndFilters) {
    Settings s = QuietSettings(2);
    FilterRecord boss;
    boss.type = FilterType::LongFlex;
    boss.capcode = "002068481";
    boss.label = "Boss";
    FilterRecord reject;
    reject.type = FilterType::ShortFlex;
    reject.capcode = "00000?9";
    reject.reject = 1;
    s.Filters = {boss, reject};

    FlexFrame frame;
    frame.pages = {
        {1, false, kFlexAlphanumeric, "a"},            // address word 0x8001
        {5, false, kFlexAlphanumeric, "b"},            // 0x8005: letter B
        {0x1F9001, true, kFlexAlphanumeric, "c"},      // words 1 and 0x1FFFFF
        {0x801F9001, true, kFlexAlphanumeric, "d"},    // negative as a signed capcode
        {1933312, false, kFlexAlphanumeric, "e"},      // the largest short capcode
        {19, false, kFlexAlphanumeric, "rejected"},
        {999999999, true, kFlexAlphanumeric, "f"},
    };
    const auto rig = Receive(frame, s);
    const std::vector<std::string> expected = {
        "                 Cycle: 0 Frame: 0",
        "[0000001]    A  ALPHA  a",
        "[0000005]    B  ALPHA  b",
        "[002068481]  A  ALPHA  c",
        "[?????????]  A  ALPHA  d",
        "[1933312]    A  ALPHA  e",
        "[999999999]  D  ALPHA  f",
    };
    EXPECT_EQ(rig->messageLines, expected);
    EXPECT_EQ(rig->filterLines, std::vector<std::string>{"[002068481]  Boss A  ALPHA  c"});
}

TEST(FlexSettings, FrameRowNumericMiscAndTimestamp) {
    FlexFrame frame;
    frame.cycle = 9;
    frame.frame = 100;
    frame.pages = {
        {1234567, false, kFlexAlphanumeric, "Hello"},
        {1234, false, kFlexStandardNumeric, "1234"},
        {200, false, kFlexBinary, "ABCDE"},
        {300, false, kFlexInstruction, ""},
    };
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
        Settings s = QuietSettings(2);
        s.ShowFrame = c.showFrame;
        s.ShowNumeric = c.showNumeric;
        s.ShowMisc = c.showMisc;
        s.Timestamp = c.timestamp;
        const auto rig = Receive(frame, s);
        EXPECT_EQ(rig->messageLines, c.lines) << c.showFrame << c.showNumeric << c.showMisc << c.timestamp;
        // A hidden numeric page is still counted as a message.
        EXPECT_EQ(rig->engine->Stats().HourlyStats.numericMsgs[F1600], 1u);
        EXPECT_EQ(rig->engine->Stats().HourlyStats.numericChars[F1600], c.numericChars);
        EXPECT_EQ(rig->engine->Stats().HourlyStats.alphaMsgs[F1600], 1u);
    }
}

TEST(FlexDamage, UncorrectableMessageWordIsShownInTheBitErrorColour) {
    FlexFrame frame;
    frame.pages = {{1234, false, kFlexAlphanumeric, "Hello world!"},
                   {1235, false, kFlexStandardNumeric, "0123456789"}};
    FlexFrameCodewords codewords = gen::EncodeFlexCodewords(Words(frame));
    // Words: BIW, two addresses, two vectors, alpha header 5, text 6..10
    // (signature + "He", "llo", " wo", "rld", "!"), numeric 11..12.
    std::mt19937 rng(3);
    codewords.phases[0][7] = gen::MakeFlexUncorrectable(codewords.phases[0][7], rng);
    codewords.phases[0][12] = gen::MakeFlexUncorrectable(codewords.phases[0][12], rng);
    const auto rig = Receive({codewords}, QuietSettings(2));
    const std::string alpha = "[0001234]    A  ALPHA  Hello world!";
    const std::string numeric = "[0001235]    A ST NUM  0123456789";
    EXPECT_EQ(rig->messageLines, (std::vector<std::string>{"                 Cycle: 0 Frame: 0", alpha, numeric}));

    const int ok = Colour(ColorClass::Alphanumeric);
    const int bad = Colour(ColorClass::BitErrors);
    const std::vector<int> colours = RowColours(*rig, alpha);
    ASSERT_EQ(colours.size(), alpha.size());
    const std::vector<int> text(colours.begin() + 23, colours.end());
    EXPECT_EQ(text, (std::vector<int>{ok, ok, bad, bad, bad, ok, ok, ok, ok, ok, ok, ok}));
    EXPECT_EQ(colours[0], Colour(ColorClass::Capcode));
    EXPECT_EQ(colours[13], Colour(ColorClass::FLEXPhase));
    EXPECT_EQ(colours[16], Colour(ColorClass::FLEXFormat));

    // Digits: 2 prefix bits, then four digits in word 11 and one that
    // straddles into word 12, which takes the damaged word's colour.
    const std::vector<int> digits = RowColours(*rig, numeric);
    ASSERT_EQ(digits.size(), numeric.size());
    const int num = Colour(ColorClass::Numeric);
    EXPECT_EQ(std::vector<int>(digits.begin() + 23, digits.end()),
              (std::vector<int>{num, num, num, num, bad, bad, bad, bad, bad, bad}));
}

TEST(FlexDamage, InvalidBlockInformationWordDropsOnlyThatPhase) {
    FlexFrame frame;
    frame.mode = FlexMode::Flex3200_4;
    frame.pages = {{1, false, kFlexAlphanumeric, "to A"}, {5, false, kFlexAlphanumeric, "to B"}};
    const std::string a = "[0000001]    A  ALPHA  to A";
    const std::string b = "[0000005]    B  ALPHA  to B";
    const std::string frameRow = "                 Cycle: 0 Frame: 0";
    struct Case {
        const char* what;
        int phase;
        bool uncorrectable;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"checksum of A", 0, false, {frameRow, b}},
        {"uncorrectable B", 1, true, {frameRow, a}},
    };
    for (const Case& c : cases) {
        FlexFrameWords words = Words(frame);
        std::mt19937 rng(5);
        auto& biw = words.phases[static_cast<std::size_t>(c.phase)][0];
        if (!c.uncorrectable) biw ^= 0x100;  // one more further BIW: the nibble sum breaks
        FlexFrameCodewords codewords = gen::EncodeFlexCodewords(words);
        if (c.uncorrectable)
            codewords.phases[static_cast<std::size_t>(c.phase)][0] =
                gen::MakeFlexUncorrectable(codewords.phases[static_cast<std::size_t>(c.phase)][0], rng);
        const auto rig = Receive({codewords}, QuietSettings(4));
        EXPECT_EQ(rig->messageLines, c.lines) << c.what;
    }
}

// After a 3200/2 frame, a marker with an unknown code: a clean header of an
// unknown kind (code and complement exact) is shown and starts nothing; a
// damaged one starts a frame in the previous mode.
TEST(FlexSync, UnknownOrDamagedCodeAfterAFrame) {
    FlexFrame known;
    known.mode = FlexMode::Flex3200_2;
    known.pages = {{1, false, kFlexAlphanumeric, "first"}};
    FlexFrame next = known;
    next.frame = 1;
    next.pages = {{2, false, kFlexAlphanumeric, "second"}};
    const std::string header = "UNKNOWN SYNC HEADER : AAAA12341234A6C6A6C6AAAAAAAAEDCB";
    const std::vector<std::string> firstFrame = {"                 Cycle: 0 Frame: 0", "[0000001]    A  ALPHA  first"};
    struct Case {
        std::uint16_t complement;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {0xEDCB, {"", header}},
        {0xEDC0, {"                 Cycle: 0 Frame: 1", "[0000002]    A  ALPHA  second"}},
    };
    for (const Case& c : cases) {
        FlexFrameCodewords odd = gen::EncodeFlexCodewords(Words(next));
        odd.syncCode = 0x1234;
        odd.syncComplement = c.complement;
        const auto rig = Receive({gen::EncodeFlexCodewords(Words(known)), odd}, QuietSettings(2));
        std::vector<std::string> expected = firstFrame;
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        EXPECT_EQ(rig->messageLines, expected) << std::hex << c.complement;
        if (c.after.back() == header) {
            const std::vector<int> colours = RowColours(*rig, header);
            EXPECT_TRUE(std::all_of(colours.begin(), colours.end(), [](int k) { return k == Colour(ColorClass::Misc); }));
        }
        // Only the known sync showed a mode.
        EXPECT_EQ(rig->title.titles.front(), " Tolvane - FLEX 3200 2 Level");
        EXPECT_EQ(std::count(rig->title.titles.begin(), rig->title.titles.end(), " Tolvane - FLEX 3200 2 Level"), 1);
    }
}

// Some transmitters open with resynchronisation cycles whose sync has a
// code of an unknown kind; each shows its row, and the frame behind them
// still comes through.
TEST(FlexSync, LeadInOfUnknownHeadersBeforeTheFrame) {
    struct Case {
        FlexMode mode;
        int interfaceLevels;
        int cycles;
    };
    const Case cases[] = {
        {FlexMode::Flex1600_2, 2, 32},
        {FlexMode::Flex3200_2, 2, 30},
        {FlexMode::Flex3200_4, 4, 40},
        {FlexMode::Flex6400_4, 4, 64},
    };
    const std::vector<Expected> pages = EveryKind();
    for (const Case& c : cases) {
        gen::SymbolStream stream;
        gen::AppendFlexLeadIn(stream, c.cycles, 0x34DF);
        gen::AppendFlexFrame(stream, gen::EncodeFlexCodewords(Words(FrameOf(pages, c.mode, 7, 100))));
        const auto rig = ReceiveStream(stream, QuietSettings(c.interfaceLevels));
        std::vector<std::string> expected;
        for (int i = 0; i < c.cycles; ++i) {
            expected.push_back("");
            expected.push_back("UNKNOWN SYNC HEADER : AAAA34DF34DFA6C6A6C6AAAAAAAACB20");
        }
        const std::vector<std::string> frame = ExpectedLines(pages, c.mode, 7, 100);
        expected.insert(expected.end(), frame.begin(), frame.end());
        EXPECT_EQ(rig->messageLines, expected) << gen::FlexModeInfoOf(c.mode).name;
    }
}

// A marker whose code is damaged starts a frame in the previous mode; a
// real sync that follows within its countdown takes over.
TEST(FlexSync, RealSyncDuringTheCountdownOfADamagedOneWins) {
    FlexFrame frame;
    frame.pages = {{1, false, kFlexAlphanumeric, "real"}};
    FlexFrameCodewords damaged = gen::EncodeFlexCodewords(Words(frame));
    damaged.syncCode = 0x0000;
    damaged.syncComplement = 0x1111;
    gen::SymbolStream stream;
    gen::AppendFlexFrame(stream, damaged);
    stream.resize(gen::kFlexPreambleBits + 64);  // bit sync and sync only
    frame.frame = 5;
    gen::AppendFlexFrame(stream, gen::EncodeFlexCodewords(Words(frame)), 16);
    const auto rig = ReceiveStream(stream, QuietSettings(2));
    EXPECT_EQ(rig->messageLines,
              (std::vector<std::string>{"                 Cycle: 0 Frame: 5", "[0000001]    A  ALPHA  real"}));
}

// The comma of plain reversals after the frame information word reads
// like the sync marker for some cycle and frame numbers; none of them may
// restart the frame timing.
TEST(FlexSync, EveryCycleAndFrameNumberBehindAPlainComma) {
    Settings settings;
    settings.Timestamp = 0;
    TestRig rig(settings);
    FlexDecoder& decoder = rig.engine->Flex();
    std::vector<std::string> expected;
    for (int cycle = 0; cycle < 16; ++cycle) {
        for (int number = 0; number < 128; ++number) {
            FlexFrame frame;
            frame.cycle = cycle;
            frame.frame = number;
            frame.pages = {{1, false, kFlexAlphanumeric, std::to_string(cycle * 128 + number)}};
            gen::SymbolStream stream;
            std::string error;
            ASSERT_TRUE(gen::AppendFlexFrame(stream, frame, error)) << error;
            for (const gen::TimedSymbol& s : stream) decoder.FlexInputSymbol(s.symbol);
            expected.push_back("                 Cycle: " + std::to_string(cycle) + " Frame: " + std::to_string(number));
            expected.push_back("[0000001]    A  ALPHA  " + std::to_string(cycle * 128 + number));
        }
    }
    EXPECT_EQ(rig.messageLines, expected);
}

TEST(FlexSync, CodeWithFourWrongBitsIsStillRecognised) {
    FlexFrame frame;
    frame.pages = {{1, false, kFlexAlphanumeric, "x"}};
    struct SyncDamage {
        std::uint16_t code, complement;
    };
    for (const SyncDamage d : {SyncDamage{0x8001, 0}, SyncDamage{0x0F00, 0}, SyncDamage{0x0003, 0x0300},
                               SyncDamage{0x1F00, 0}, SyncDamage{0x0007, 0x0300}, SyncDamage{0x0F0F, 0}}) {
        FlexFrameCodewords codewords = gen::EncodeFlexCodewords(Words(frame));
        codewords.syncCode = static_cast<std::uint16_t>(codewords.syncCode ^ d.code);
        codewords.syncComplement = static_cast<std::uint16_t>(codewords.syncComplement ^ d.complement);
        const auto rig = Receive({codewords}, QuietSettings(2));
        const bool recognised = std::popcount(d.code) + std::popcount(d.complement) < 5;
        EXPECT_EQ(!rig->title.titles.empty() && rig->title.titles[0] == " Tolvane - FLEX 1600 2 Level", recognised)
            << std::hex << d.code << " " << d.complement;
        // Either way the marker starts a frame, in the mode last seen (here
        // the initial 1600/2); the halves are not complementary, so no
        // unknown-header row is written.
        EXPECT_EQ(rig->messageLines, (std::vector<std::string>{"                 Cycle: 0 Frame: 0",
                                                               "[0000001]    A  ALPHA  x"}))
            << std::hex << d.code << " " << d.complement;
    }
}

TEST(Reflex, RawDumpOfAllPhases) {
    FlexFrame frame;
    frame.mode = FlexMode::Reflex;
    frame.pages = {{1, false, 0, "Hello world"}, {2, false, 0, "Second"}};
    FlexFrameCodewords codewords = gen::EncodeFlexCodewords(Words(frame));
    std::mt19937 rng(11);
    codewords.phases[3][1] = gen::MakeFlexUncorrectable(codewords.phases[3][1], rng);  // "ld "
    const auto rig = Receive({codewords}, QuietSettings(4));
    // Word 0 of phase A (0x00040B) is the head; as characters it gives
    // 0x0B, 0x08 and a NUL, which is left out.
    const std::string dump = "[00040B]\x0B\x08Hello world Second";
    EXPECT_EQ(rig->messageLines, (std::vector<std::string>{"                 Cycle: 0 Frame: 0", dump}));
    EXPECT_EQ(rig->title.titles.at(0), " Tolvane - ReFLEX ABCD 3200 4 Level");
    const std::vector<int> colours = RowColours(*rig, dump);
    ASSERT_EQ(colours.size(), dump.size());
    EXPECT_EQ(colours[0], Colour(ColorClass::FLEXFormat));
    EXPECT_EQ(colours[19], Colour(ColorClass::BitErrors));
    EXPECT_EQ(colours[18], Colour(ColorClass::Alphanumeric));
    EXPECT_EQ(rig->engine->Stats().HourlyStats, StatCounters{});
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
