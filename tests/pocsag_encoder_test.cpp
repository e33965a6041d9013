// The POCSAG encoder of the generator and the page descriptions.
#include "tools/gen/pocsag_encoder.h"

#include <gtest/gtest.h>

#include <bit>

#include "decoders/bch/bch.h"
#include "tools/gen/protocols.h"

namespace tolvane::gen {
namespace {

int Check(std::uint32_t word) {
    Bch bch;
    bch.LoadCodeword(word);
    return bch.BchCorrect();
}

TEST(PocsagEncoder, CodewordLayout) {
    for (const std::uint32_t capcode : {0u, 8u, 1234567u, 2097151u}) {
        for (int function = 0; function < 4; ++function) {
            const std::uint32_t word = PocsagAddressWord(capcode, function);
            EXPECT_EQ(Check(word), 0);
            EXPECT_EQ(word >> 31, 0u);                        // address flag
            EXPECT_EQ((word >> 13) & 0x3FFFF, capcode >> 3);  // 18 address bits
            EXPECT_EQ((word >> 11) & 3u, static_cast<std::uint32_t>(function));
        }
    }
    const std::uint32_t message = PocsagMessageWord(0xABCDE);
    EXPECT_EQ(Check(message), 0);
    EXPECT_EQ(message >> 31, 1u);
    EXPECT_EQ((message >> 11) & 0xFFFFF, 0xABCDEu);
    EXPECT_EQ(std::popcount(message) % 2, 0);
}

TEST(PocsagEncoder, DigitsAndCharactersLeastSignificantBitFirst) {
    std::vector<std::uint32_t> words;
    std::string error;
    // "1" = 0001 sent as 1,0,0,0; then four spaces (1100 -> 0,0,1,1).
    ASSERT_TRUE(PocsagMessageWords(PageKind::Numeric, "1", words, error));
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ((words[0] >> 11) & 0xFFFFF, 0b1000'0011'0011'0011'0011u);
    // 'A' = 1000001 sent as 1,0,0,0,0,0,1; 'B' = 1000010 as 0,1,0,0,0,0,1;
    // then the bits of a space (0,0,0,0,0,1) fill the word.
    ASSERT_TRUE(PocsagMessageWords(PageKind::Alpha, "AB", words, error));
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ((words[0] >> 11) & 0xFFFFF, 0b1000001'0100001'000001u);
    ASSERT_TRUE(PocsagMessageWords(PageKind::Alpha, std::string(20, 'x'), words, error));
    EXPECT_EQ(words.size(), 7u);  // 140 bits
    ASSERT_TRUE(PocsagMessageWords(PageKind::Tone, "ignored", words, error));
    EXPECT_TRUE(words.empty());
    EXPECT_FALSE(PocsagMessageWords(PageKind::Numeric, "12a", words, error));
    EXPECT_FALSE(PocsagMessageWords(PageKind::Alpha, "\xC3\xA9", words, error));
    EXPECT_FALSE(PocsagMessageWords(PageKind::Binary, "00", words, error));
}

TEST(PocsagEncoder, AddressesStandInTheirFrames) {
    auto slotsOf = [](const std::vector<std::string>& descriptions) {
        std::vector<PageDescription> pages;
        std::string error;
        for (const std::string& d : descriptions) {
            PageDescription page;
            EXPECT_TRUE(ParsePageDescription(d, page, error)) << error;
            pages.push_back(page);
        }
        std::vector<std::uint32_t> slots;
        EXPECT_TRUE(BuildPocsagSlots(pages, slots, error)) << error;
        return slots;
    };
    // Frame 3: slot 6. The next page's frame 1 has passed: next batch, slot 2.
    std::vector<std::uint32_t> slots = slotsOf({"pocsag:1200:27:0:tone:", "pocsag:1200:9:1:tone:"});
    ASSERT_EQ(slots.size(), 32u);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const std::uint32_t expected =
            i == 6 ? PocsagAddressWord(27, 0) : i == 18 ? PocsagAddressWord(9, 1) : kPocsagIdleWord;
        EXPECT_EQ(slots[i], expected) << i;
    }
    // A page ending in the last slot gets a batch of idle codewords after it.
    slots = slotsOf({"pocsag:1200:7:0:numeric:12345"});
    ASSERT_EQ(slots.size(), 32u);
    EXPECT_EQ(slots[14], PocsagAddressWord(7, 0));
    EXPECT_NE(slots[15], kPocsagIdleWord);
    EXPECT_EQ(slots[16], kPocsagIdleWord);
}

TEST(PocsagEncoder, DamageHitsWhatWasAskedFor) {
    std::mt19937 rng(11);
    for (int i = 0; i < 50; ++i) {
        const std::uint32_t word = PocsagAddressWord(static_cast<std::uint32_t>(i) * 40503u, i & 3);
        const std::uint32_t bad = MakePocsagUncorrectable(word, rng);
        EXPECT_EQ(std::popcount(word ^ bad), 3);
        EXPECT_EQ((word ^ bad) & 0xFFFFF800u, 0u);  // payload untouched
        EXPECT_EQ(Check(bad), 3);
    }
    // Random errors: N bits in every codeword, information bits only on request.
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
            if (infoOnly) {
                EXPECT_EQ((sent ^ clean[i]) & 0x7FFu, 0u) << i;
            }
        }
    }
}

TEST(PageDescription, Descriptions) {
    PageDescription page;
    std::string error;
    ASSERT_TRUE(ParsePageDescription("pocsag:512:42:2:alpha:At 10:30: meet \\x41\\\\", page, error));
    EXPECT_EQ(page.protocol, "pocsag");
    EXPECT_EQ(page.rate, "512");
    EXPECT_EQ(page.capcode, "42");
    EXPECT_EQ(page.function, 2);
    EXPECT_EQ(page.kind, PageKind::Alpha);
    EXPECT_EQ(page.text, "At 10:30: meet A\\");
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
    ASSERT_NE(FindProtocol("pocsag"), nullptr);
    EXPECT_EQ(FindProtocol("morse"), nullptr);
    // Capcodes and rates the encoder refuses.
    for (const char* bad : {"pocsag:1200:2097152:0:tone:", "pocsag:1200:12a:0:tone:", "pocsag:600:8:0:tone:"}) {
        ASSERT_TRUE(ParsePageDescription(bad, page, error));
        SymbolStream stream;
        EXPECT_FALSE(EncodePocsagPages({page}, EncodeOptions{}, stream, error)) << bad;
    }
}

}  // namespace
}  // namespace tolvane::gen
