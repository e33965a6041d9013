#include "decoders/bits.h"
#include "tools/gen/gsc_encoder.h"

#include <gtest/gtest.h>

#include <random>

#include "decoders/gsc/golay.h"
#include "decoders/gsc/gsc_code.h"
#include "support/fake_world.h"

namespace tolvane::gen {
namespace {

GscBitHistory HistoryOf(const std::vector<std::uint8_t>& samples) {
    GscBitHistory history;
    for (const std::uint8_t s : samples) history.Push(s);
    return history;
}

GscWordPair CorrectedWordsOf(const std::vector<std::uint8_t>& samples) {
    GscWordPair words = ExtractAddressWords(HistoryOf(samples));
    words.w1 = GolayCorrect(words.w1);
    words.w2 = GolayCorrect(words.w2);
    return words;
}

// The encoder's inverse against the decoder's forward computation.
TEST(GscPlanAddress, EveryCapcodeAndFunctionRoundTrips) {
    EXPECT_EQ(GscPlanAddress(203634, 3).addressCode, 7);
    EXPECT_EQ(GscPlanAddress(203634, 3).w2Data, 1234u);
    EXPECT_EQ(GscPlanAddress(253545, 4).w2Data, 3000u);
    EXPECT_EQ(GscPlanAddress(253545, 4).preambleIndex, 5);

    int failures = 0;
    for (std::int32_t capcode = 0; capcode <= 999999; capcode += 7) {
        for (int function = 1; function <= 4; ++function) {
            const GscAddressPlan plan = GscPlanAddress(capcode, function);
            const bool inRange = plan.addressCode >= 0 && plan.addressCode < 100 && plan.w2Data < 4096 &&
                                 plan.preambleIndex >= 0 && plan.preambleIndex < 10 &&
                                 (plan.addressCode & 1) == (function >= 3 ? 1 : 0);
            const GscAddress back = GscCapcodeOf(plan.addressCode, GolayEncode(plan.w2Data), plan.preambleIndex);
            if ((!inRange || back.capcode != capcode || back.function != function) && ++failures < 5)
                ADD_FAILURE() << capcode << " function " << function << " -> " << back.capcode << " function "
                              << back.function;
        }
    }
    EXPECT_EQ(failures, 0);
}

// Start code, the fifty address words and all complements are codewords far
// enough apart that one can never be corrected into another.
TEST(GscWords, ControlWordsAreDistinctCodewordsAndReadBack) {
    std::vector<std::uint32_t> words = {kGscStartCode, kGscStartCode ^ kGolayMask};
    for (int code = 0; code < 100; ++code) words.push_back(GscAddressWord1(code));
    for (std::size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(GolaySyndrome(words[i]), 0u) << i;
        for (std::size_t j = i + 1; j < words.size(); ++j) EXPECT_GE(BitDistance(words[i], words[j], kGolayMask), 7) << i << "," << j;
    }
    EXPECT_EQ(GscAddressWord1(22), 0x26F2B8u);  // the table entry one bit off its codeword

    for (int code = -1; code < 100; ++code) {
        GscSampleWriter w;
        code < 0 ? w.AppendStartCode() : w.AppendAddress({code, 0x5A5, 0});
        ASSERT_EQ(w.samples.size(), 121u);
        const GscWordPair read = CorrectedWordsOf(w.samples);
        EXPECT_EQ(read.splits, 0) << code;
        EXPECT_EQ(FindAddressCode(read), code) << code;
        EXPECT_EQ(IsStartCode(read), code < 0) << code;
        if (code >= 0) {
            EXPECT_EQ(read.w2 & 0xFFF, 0x5A5u) << code;
        }
    }
}

TEST(GscWords, PreambleDetectedOnlyAtItsOwnAlignmentAndIndex) {
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
                    const bool expected = other == index && (n + 1) % 46 == 0;
                    EXPECT_EQ(hit, expected) << index << " at " << n << " as " << other;
                    detections += hit;
                }
            }
            EXPECT_EQ(detections, 3);
        }
    }
}

// Data blocks read back through the decoder's de-interleaving; every
// character the encoder accepts survives.
TEST(GscDataBlocks, TextsRoundTripAndBadCharactersAreRefused) {
    const std::string numerics = "0123456789 U-)(";
    const std::string alphas = " !\"#$%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ[]";
    struct Case {
        PageKind kind;
        std::string text;
        std::size_t blocks;
    };
    const Case cases[] = {
        {PageKind::Numeric, numerics, 2},
        {PageKind::Numeric, "123456789012", 1},
        {PageKind::Alpha, alphas, 8},
        {PageKind::Alpha, "lower case goes up", 3},
        {PageKind::Tone, "ignored", 0},
        {PageKind::Alpha, "", 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint64_t> blocks;
        std::string error;
        ASSERT_TRUE(GscPageBlocks(c.kind, c.text, blocks, error)) << c.text << ": " << error;
        ASSERT_EQ(blocks.size(), c.blocks) << c.text;
        std::string digits;
        std::string chars;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            GscSampleWriter w;
            w.AppendDataBlock(blocks[i]);
            const std::uint64_t data = DeinterleaveBlock(HistoryOf(w.samples));
            EXPECT_EQ(data, blocks[i]);
            EXPECT_EQ(ContinuationFlag(data), i + 1 < blocks.size()) << c.text << " block " << i;
            char d[12];
            char a[8];
            DecodeNumericBlock(data, d);
            digits.append(d, 12);
            chars.append(a, static_cast<std::size_t>(DecodeAlphaBlock(data, a)));
        }
        if (c.kind == PageKind::Numeric) {
            EXPECT_EQ(digits.substr(0, c.text.size()), c.text);
        }
        if (c.kind == PageKind::Alpha) {
            std::string upper = c.text;
            for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
            EXPECT_EQ(chars, upper);
        }
    }
    for (const auto& [kind, text] : std::vector<std::pair<PageKind, std::string>>{
             {PageKind::Numeric, "12*4"},
             {PageKind::Numeric, std::string(25, '1')},
             {PageKind::Alpha, "mail@home"},
             {PageKind::Alpha, std::string(81, 'A')},
             {PageKind::Binary, "00"}}) {
        std::vector<std::uint64_t> blocks;
        std::string error;
        EXPECT_FALSE(GscPageBlocks(kind, text, blocks, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

// A data block whose plain reading would look like an address gets other
// filler bits; its data stays the same.
TEST(GscDataBlocks, FillerKeepsDataBlocksFromReadingAsAddresses) {
    std::mt19937_64 rng(11);
    int collisions = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const std::uint64_t data = rng() & ((std::uint64_t{1} << 56) - 1);
        // The block with zero filler, as the first attempt builds it.
        std::vector<std::uint8_t> plain(1, 0);
        for (int n = 0; n < 120; ++n)
            plain.push_back(n / 8 < 7 ? static_cast<std::uint8_t>((data >> (7 * (n % 8) + n / 8)) & 1u) : 0);
        const GscWordPair plainWords = CorrectedWordsOf(plain);
        if (FindAddressCode(plainWords) >= 0 || IsStartCode(plainWords)) ++collisions;

        GscSampleWriter w;
        w.AppendDataBlock(data);
        ASSERT_EQ(w.samples.size(), 121u);
        const GscWordPair words = CorrectedWordsOf(w.samples);
        ASSERT_EQ(FindAddressCode(words), -1) << std::hex << data;
        ASSERT_FALSE(IsStartCode(words));
        ASSERT_EQ(DeinterleaveBlock(HistoryOf(w.samples)), data);
    }
    EXPECT_GT(collisions, 0);  // the case the filler exists for does occur
}

// Long transmissions: the encoder refills the receiver's budget with start
// codes, for both preamble forms.
TEST(GscTransmissions, ManyPagesInOneTransmissionAllArrive) {
    for (const bool complemented : {false, true}) {
        std::vector<GscPage> pages;
        std::vector<std::string> expected;
        for (int i = 0; i < 12; ++i) {
            const std::int32_t capcode = 300000 + 1000 * (10 * i % 100) + i;  // D = 10i mod 100: index 3
            const std::string text = "PAGE " + std::to_string(i) + " OF TWELVE, SENT AS TEXT";
            pages.push_back({capcode, 1 + i % 4, PageKind::Alpha, text});
            char field[16];
            std::snprintf(field, sizeof field, "(%06d) %d ", capcode, 1 + i % 4);
            expected.push_back(field + text);
        }
        GscTransmitOptions options;
        options.complementedPreamble = complemented;
        std::vector<std::uint8_t> samples;
        std::string error;
        ASSERT_TRUE(BuildGscSamples(pages, options, samples, error)) << error;

        Settings settings;
        settings.Timestamp = 0;
        testing::TestRig rig(settings);
        SymbolStream stream;
        AppendSilence(stream, 0, 0.2);
        AppendGscSamples(samples, stream);
        rig.Feed(SymbolsToEdges(stream, {}));
        EXPECT_EQ(rig.messageLines, expected) << (complemented ? "complemented" : "plain");
    }
}

TEST(GscTransmissions, GeneratorEntryReadsPageDescriptionsAndDamage) {
    struct Case {
        std::string rate;
        std::string capcode;
        int function;
        int bitErrors;
        std::vector<int> errorWords;
        bool ok;
        std::vector<std::string> lines;
    };
    const std::string reading = " 123456789012 A,49'F0(";
    const Case cases[] = {
        {"600", "203634", 2, 3, {}, true, {"(203634) 3" + reading}},  // corrected in every Golay word
        {"600c", "12", 0, 0, {}, true, {"(000012) 1" + reading}},
        // W1 of the address block beyond correction: the page comes under a wrong address.
        {"600", "203634", 2, 0, {2}, true, {}},
        {"1200", "203634", 2, 0, {}, false, {}},
        {"600", "1000000", 0, 0, {}, false, {}},
        {"600", "12a", 0, 0, {}, false, {}},
    };
    for (const Case& c : cases) {
        const PageDescription page{"gsc", c.rate, c.capcode, c.function, PageKind::Numeric, "123456789012"};
        EncodeOptions options;
        options.bitErrors = c.bitErrors;
        options.errorWords = c.errorWords;
        SymbolStream stream;
        AppendSilence(stream, 0, 0.2);
        std::string error;
        ASSERT_EQ(EncodeGscPages({page}, options, stream, error), c.ok) << c.rate << " " << c.capcode;
        EXPECT_EQ(error.empty(), c.ok);
        if (!c.ok) continue;
        Settings settings;
        settings.Timestamp = 0;
        testing::TestRig rig(settings);
        rig.Feed(SymbolsToEdges(stream, {}));
        if (!c.errorWords.empty()) {
            ASSERT_EQ(rig.messageLines.size(), 1u);
            EXPECT_NE(rig.messageLines[0].substr(0, 10), "(203634) 3");
            EXPECT_EQ(rig.messageLines[0].substr(10), reading);
            continue;
        }
        EXPECT_EQ(rig.messageLines, c.lines) << c.rate << " " << c.capcode;
    }
}

}  // namespace
}  // namespace tolvane::gen
