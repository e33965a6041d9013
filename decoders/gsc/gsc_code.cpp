#include "decoders/bits.h"
#include "decoders/gsc/gsc_code.h"

#include <bit>

#include "decoders/gsc/golay.h"

namespace tolvane {

namespace {

constexpr std::uint64_t kHalfBits46 = (std::uint64_t{1} << 46) - 1;

struct DoubledPreambles {
    std::array<std::uint64_t, 10> word{};
};

constexpr DoubledPreambles BuildDoubledPreambles() {
    DoubledPreambles t;
    for (std::size_t i = 0; i < t.word.size(); ++i) t.word[i] = DoubledWord(kGscPreambleWords[i]);
    return t;
}

constexpr DoubledPreambles kDoubledPreambles = BuildDoubledPreambles();

}  // namespace

GscWordPair ExtractAddressWords(const GscBitHistory& history) {
    GscWordPair p;
    for (int j = 0; j < 23; ++j) {
        const int w1Later = history.At(91 - 2 * j);
        const int w2Later = history.At(44 - 2 * j);
        p.w1 |= static_cast<std::uint32_t>(w1Later) << j;
        p.w2 |= static_cast<std::uint32_t>(w2Later) << j;
        p.splits += (history.At(92 - 2 * j) != w1Later) + (history.At(45 - 2 * j) != w2Later);
    }
    return p;
}

int PreambleDistance(const GscBitHistory& history, int index, bool complemented) {
    std::uint64_t expected = kDoubledPreambles.word[static_cast<std::size_t>(index)];
    if (complemented) expected ^= kHalfBits46;
    return std::popcount((history.Newest64() & kHalfBits46) ^ expected);
}


bool IsStartCode(const GscWordPair& corrected) {
    const int d = BitDistance(corrected.w1, kGscStartCode) + BitDistance(corrected.w2, ~kGscStartCode, kGolayMask);
    return d <= 1 && corrected.splits <= kGscMaxSplits;
}

int FindAddressCode(const GscWordPair& corrected) {
    for (int k = 0; k < static_cast<int>(kGscAddressWords.size()); ++k) {
        const std::uint32_t word = kGscAddressWords[static_cast<std::size_t>(k)];
        if (BitDistance(word, corrected.w1) <= 1 && corrected.splits <= kGscMaxSplits) return 2 * k;
        if (BitDistance(corrected.w1, ~word, kGolayMask) <= 1) return 2 * k + 1;
    }
    return -1;
}

GscAddress GscCapcodeOf(int addressCode, std::uint32_t w2, int preambleIndex) {
    const std::int32_t x = static_cast<std::int32_t>(w2 & 0xFFFu);
    std::int32_t b = 2 * x;
    std::int32_t c2 = 0;
    if (b & 0x1000) {
        b ^= 0x1FFE;
        c2 = 1;
    }
    std::int32_t q = b / 100;
    std::int32_t r = b % 100;
    std::int32_t a = addressCode;
    if (q % 2 == 1) {
        a += 100;
        q -= 1;
    }
    std::int32_t c1 = 0;
    if (a % 2 == 1) {
        a -= 1;
        c1 = 1;
    }
    const std::int32_t d = a / 2;
    const std::int32_t e = q / 4;
    if (q % 4 == 2) r += 100;
    if (r % 2 == 1) r -= 1;
    const std::int32_t f = r / 2;
    const std::int32_t g = d % 10;
    const std::int32_t p = ((preambleIndex - g) % 10 + 10) % 10;
    return {p * 100000 + d * 1000 + e * 100 + f, 1 + c2 + 2 * c1};
}

std::uint64_t DeinterleaveBlock(const GscBitHistory& history) {
    std::uint64_t data = 0;
    for (int k = 0; k < 8; ++k) {
        for (int j = 0; j < 7; ++j) {
            if (history.At(119 - k - 8 * j)) data |= std::uint64_t{1} << (7 * k + j);
        }
    }
    return data;
}

void DecodeNumericBlock(std::uint64_t data, char* out) {
    for (int m = 0; m < 12; ++m) out[m] = kGscNumericChars[(data >> (4 * m)) & 0xFu];
}

int DecodeAlphaBlock(std::uint64_t data, char* out) {
    for (int m = 0; m < 8; ++m) {
        const auto c = static_cast<std::size_t>((data >> (6 * m)) & 0x3Fu);
        if (c == kGscAlphaEnd) return m;
        out[m] = kGscAlphaChars[c];
    }
    return 8;
}

}  // namespace tolvane
