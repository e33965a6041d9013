// The generator (tolvane-gen): what the decoder tests cannot see by
// decoding its output. Page descriptions and what each protocol refuses;
// damage that hits what was asked for; FLEX frame timing; GSC control words,
// preambles and filler that no decoder error could hide.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

#include "decoders/bits.h"
#include "decoders/gsc/golay.h"
#include "decoders/gsc/gsc_code.h"
#include "support/loopback.h"
#include "tools/gen/audio_writer.h"
#include "tools/gen/flex_encoder.h"
#include "tools/gen/gsc_encoder.h"
#include "tools/gen/pocsag_encoder.h"
#include "tools/gen/protocols.h"

namespace tolvane::gen {
namespace {

TEST(PageDescription, FieldsEscapesIndexListsAndProtocols) {
    PageDescription page;
    std::string error;
    ASSERT_TRUE(ParsePageDescription("pocsag:512:42:2:alpha:At 10:30: meet \\x41\\\\", page, error));
    EXPECT_EQ(std::vector<std::string>({page.protocol, page.rate, page.capcode, page.text}),
              std::vector<std::string>({"pocsag", "512", "42", "At 10:30: meet A\\"}));
    EXPECT_EQ(page.function, 2);
    EXPECT_EQ(page.kind, PageKind::Alpha);
    for (const char* bad : {"pocsag:512:42:2:alpha", "pocsag:512:42:4:alpha:x", "pocsag:512:42:1:morse:x",
                            "pocsag:512:42:1:alpha:\\q", "pocsag:512:42:1:alpha:\\x4"}) {
        EXPECT_FALSE(ParsePageDescription(bad, page, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    std::vector<int> list;
    EXPECT_TRUE(ParseIndexList("3,17,0", list));
    EXPECT_EQ(list, (std::vector<int>{3, 17, 0}));
    EXPECT_FALSE(ParseIndexList("3,,4", list));
    EXPECT_FALSE(ParseIndexList("-1", list));
    EXPECT_EQ(FindProtocol("morse"), nullptr);
}

TEST(Generator, RefusesWhatItCannotSend) {
    for (const std::string& d : std::vector<std::string>{
             "pocsag:1200:2097152:0:tone:", "pocsag:1200:12a:0:tone:", "pocsag:600:8:0:tone:", "pocsag:1200:8:0:numeric:12a",
          "pocsag:1200:8:0:alpha:\xC3\xA9", "pocsag:1200:8:0:binary:00", "flex:800/2:1:0:alpha:x",
          "flex:1600/2:0:0:alpha:x", "flex:1600/2:12345678901:0:alpha:x", "flex:1600/2:1:2:alpha:x",
          "flex:1600/2:1:1:binary:AB", "flex:1600/2:1:0:numeric:12x", "flex:1600/2:1:0:numeric:" + std::string(42, '1'),
          "gsc:1200:203634:2:numeric:1", "gsc:600:1000000:0:tone:",
          "gsc:600:12a:0:tone:", "gsc:600:1:0:numeric:12*4", "gsc:600:1:0:numeric:" + std::string(25, '1'),
          "gsc:600:1:0:alpha:mail@home", "gsc:600:1:0:alpha:" + std::string(81, 'A'), "gsc:600:1:0:binary:00"}) {
        PageDescription page;
        std::string error;
        ASSERT_TRUE(ParsePageDescription(d, page, error)) << d;
        SymbolStream stream;
        EXPECT_FALSE(FindProtocol(page.protocol)->encode({page}, EncodeOptions{}, stream, error)) << d;
        EXPECT_FALSE(error.empty()) << d;
    }
}

// Random errors are N bits in every codeword, among the information bits
// only on request. (Uncorrectable words show as such end to end.)
TEST(Generator, PocsagDamageHitsWhatWasAskedFor) {
    PageDescription page;
    std::string error;
    ASSERT_TRUE(ParsePageDescription("pocsag:2400:1234567:0:alpha:Some text here", page, error));
    std::vector<std::uint32_t> clean;
    ASSERT_TRUE(BuildPocsagSlots({page}, clean, error));
    for (const bool infoOnly : {false, true}) {
        EncodeOptions options;
        options.bitErrors = 2;
        options.errorsInInfoOnly = infoOnly;
        options.preambleBits = 0;
        SymbolStream stream;
        ASSERT_TRUE(EncodePocsagPages({page}, options, stream, error));
        ASSERT_EQ(stream.size(), clean.size() / 16 * 17 * 32);
        for (std::size_t i = 0; i < clean.size(); ++i) {
            std::uint32_t sent = 0;
            const std::size_t first = (i / 16 * 17 + 1 + i % 16) * 32;
            for (std::size_t b = 0; b < 32; ++b) sent = (sent << 1) | (stream[first + b].symbol == 0 ? 1u : 0u);
            EXPECT_EQ(std::popcount(sent ^ clean[i]), 2) << i;
            if (infoOnly) { EXPECT_EQ((sent ^ clean[i]) & 0x7FFu, 0u) << i; }
        }
    }
}

// The FLEX encoder chooses vector, address and frames from descriptions:
// one long alphanumeric page per frame, the others fit into the first, the
// phases follow each other A, B, C, D. Error words are numbered by frame,
// phase and word.
TEST(Generator, FlexDescriptionsChooseVectorAddressFramesAndDamage) {
    std::vector<std::string> descriptions = {
        "flex:6400/4:1234567:0:alpha:Hello", "flex:6400/4:1234:1:alpha:Hush",  "flex:6400/4:12:0:numeric:123",
        "flex:6400/4:13:1:numeric:456",      "flex:6400/4:14:2:numeric:78",     "flex:6400/4:000070000:0:tone:1234",
        "flex:6400/4:16:0:tone:",             "flex:6400/4:17:1:tone:",          "flex:6400/4:18:0:binary:C0FFEE",
    };
    std::vector<std::string> expected = {
        "                 Cycle: 0 Frame: 0", "[0001234]    A SECURE  Hush",        "[000070000]  A SH/TONE 1234    ",
        "[0000016]    A SH/TONE ",            "[0000018]    A BINARY  C0FFEE0000", "[0000001]    A  ALPHA  " + std::string(150, 'a'),
        "[1234567]    B  ALPHA  Hello",       "[0000012]    D ST NUM  123 ",       "[0000013]    D SF NUM  456 ",
        "[0000014]    D NU NUM  78",
    };
    for (int i = 0; i < 6; ++i) {
        descriptions.push_back("flex:6400/4:1:0:alpha:" + std::string(150, static_cast<char>('a' + i)));
        if (i == 0) continue;
        expected.push_back("                 Cycle: 0 Frame: " + std::to_string(i));
        expected.push_back("[0000001]    A  ALPHA  " + std::string(150, static_cast<char>('a' + i)));
    }
    const auto loopBack = [](const std::vector<std::string>& pages, const EncodeOptions& options) {
        const std::vector<EdgeEntry> edges = testing::ToEdges(testing::Encode(pages, options), {0, 0, false, 4});
        return testing::Receive(edges, testing::Untimed(4))->messageLines;
    };
    EXPECT_EQ(loopBack(descriptions, {}), expected);

    const std::string a = "[0000001]    A  ALPHA  to A";
    const std::string b = "[0000005]    B  ALPHA  to B";
    for (const auto& [words, lines] : std::vector<std::pair<std::vector<int>, std::vector<std::string>>>{
             {{}, {expected[0], a, b}}, {{0}, {expected[0], b}}, {{88}, {expected[0], a}}}) {  // the BIWs of A, B
        EncodeOptions options;
        options.errorWords = words;
        options.bitErrors = 1;
        EXPECT_EQ(loopBack({"flex:3200/4:1:0:alpha:to A", "flex:3200/4:5:0:alpha:to B"}, options), lines);
    }
}

// Start code, the fifty address words and all complements are codewords far
// enough apart that one can never be corrected into another. (How they are
// sent, every page end to end reads back.)
TEST(Generator, GscControlWordsAreDistinctCodewords) {
    std::vector<std::uint32_t> words = {kGscStartCode, kGscStartCode ^ kGolayMask};
    for (int code = 0; code < 100; ++code) words.push_back(GscAddressWord1(code));
    for (std::size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(GolaySyndrome(words[i]), 0u) << i;
        for (std::size_t j = i + 1; j < words.size(); ++j) EXPECT_GE(BitDistance(words[i], words[j], kGolayMask), 7);
    }
}

// The decoder's capcode computation inverted, for every capcode step and
// function; each plan within range.
TEST(Generator, GscAddressPlansGiveBackEveryCapcode) {
    int failures = 0;
    for (std::int32_t capcode = 0; capcode <= 999999; capcode += 7) {
        for (int function = 1; function <= 4; ++function) {
            const GscAddressPlan plan = GscPlanAddress(capcode, function);
            const bool inRange = plan.addressCode >= 0 && plan.addressCode < 100 && plan.w2Data < 4096 &&
                                 plan.preambleIndex >= 0 && plan.preambleIndex < 10 &&
                                 (plan.addressCode & 1) == (function >= 3 ? 1 : 0);
            const GscAddress back = GscCapcodeOf(plan.addressCode, GolayEncode(plan.w2Data), plan.preambleIndex);
            if ((!inRange || back.capcode != capcode || back.function != function) && ++failures < 5)
                ADD_FAILURE() << capcode << " function " << function << " -> " << back.capcode << "/" << back.function;
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(Generator, GscPreambleIsDetectedOnlyAtItsOwnAlignmentAndIndex) {
    for (int index = 0; index < 10; ++index) {
        for (const bool complemented : {false, true}) {
            GscSampleWriter w;
            for (int i = 0; i < 3; ++i) w.AppendPreamble(index, complemented);
            GscBitHistory history;
            int detections = 0;
            for (std::size_t n = 0; n < w.samples.size(); ++n) {
                history.Push(w.samples[n]);
                for (int other = 0; other < 10; ++other) {
                    const bool hit = PreambleDistance(history, other, complemented) <= (complemented ? 1 : 3);
                    EXPECT_EQ(hit, other == index && (n + 1) % 46 == 0) << index << " at " << n << " as " << other;
                    detections += hit;
                }
            }
            EXPECT_EQ(detections, 3);
        }
    }
}

// A data block whose plain reading would look like an address gets other
// filler bits; its data stays the same.
TEST(Generator, GscFillerKeepsDataBlocksFromReadingAsAddresses) {
    const auto words = [](const std::vector<std::uint8_t>& samples) {
        GscBitHistory history;
        for (const std::uint8_t s : samples) history.Push(s);
        GscWordPair w = ExtractAddressWords(history);
        w.w1 = GolayCorrect(w.w1);
        w.w2 = GolayCorrect(w.w2);
        return std::make_pair(FindAddressCode(w) >= 0 || IsStartCode(w), DeinterleaveBlock(history));
    };
    // Among these blocks some read as addresses with zero filler, as the first
    // attempt builds them.
    std::mt19937_64 rng(11);
    for (int trial = 0; trial < 3000; ++trial) {
        const std::uint64_t data = rng() & ((std::uint64_t{1} << 56) - 1);
        GscSampleWriter w;
        w.AppendDataBlock(data);
        ASSERT_EQ(w.samples.size(), 121u);
        ASSERT_EQ(words(w.samples), std::make_pair(false, data)) << std::hex << data;
    }
}

// A second transmitter heard at no delay only adds to the carrier, and one
// heard far below the first hardly moves the discriminator: what the
// simulcast model changes comes from the delay between the two.
TEST(Generator, SimulcastDiffersFromOneTransmitterOnlyByItsDelay) {
    const SymbolStream stream = testing::Encode({"flex:1600/2:1234567:0:alpha:Two transmitters"});
    AudioOptions one;
    const std::vector<float> alone = SymbolsToAudio(stream, one);
    const auto farthest = [&alone, &stream](double delayUs, double db) {
        AudioOptions two;
        two.simulcastDelayUs = delayUs;
        two.simulcastDb = db;
        const std::vector<float> both = SymbolsToAudio(stream, two);
        float most = 0;
        for (std::size_t i = 0; i < alone.size(); ++i) most = std::max(most, std::fabs(both.at(i) - alone[i]));
        return most;
    };
    EXPECT_LT(farthest(0, 1), 1e-4f);
    EXPECT_LT(farthest(150, 30), 0.03f);
    EXPECT_GT(farthest(150, 1), 0.2f);
}

}  // namespace
}  // namespace tolvane::gen
