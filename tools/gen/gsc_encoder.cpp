#include "tools/gen/gsc_encoder.h"

#include <algorithm>
#include <random>

#include "decoders/gsc/golay.h"
#include "decoders/gsc/gsc_code.h"

namespace tolvane::gen {

namespace {

constexpr double kGscSampleRate = 600.0;
constexpr int kUncorrectableFlips = 4;

int NumericValue(char c) {
    const std::size_t at = kGscNumericChars.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

int AlphaValue(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == ' ') return 0;
    const std::size_t at = kGscAlphaChars.find(c);
    // The table shows 32, 60, 62 and 63 as spaces: only the real space is sent.
    return at == std::string_view::npos || kGscAlphaChars[at] == ' ' ? -1 : static_cast<int>(at);
}

// The block as the receiver would read it at its last sample.
bool ReadsAsControlBlock(const std::vector<std::uint8_t>& samples, std::size_t first) {
    GscBitHistory history;
    for (std::size_t i = first; i < samples.size(); ++i) history.Push(samples[i]);
    GscWordPair words = ExtractAddressWords(history);
    words.w1 = GolayCorrect(words.w1);
    words.w2 = GolayCorrect(words.w2);
    return IsStartCode(words) || FindAddressCode(words) >= 0;
}

bool ParseGscCapcode(std::string_view text, std::int32_t& capcode) {
    if (text.empty() || text.size() > 6) return false;
    std::int32_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    capcode = v;
    return true;
}

// Block budget of the receiver, as the encoder follows it.
struct Budget {
    bool plain = true;
    int left = 0;

    // What is left after the page's blocks, or -1 when the budget runs out
    // before its last block (or at it while more is to come).
    int After(std::size_t dataBlocks, bool moreFollows) const {
        int b = left + (plain ? 1 : 0) - 1;
        if (b <= 0 && (dataBlocks > 0 || moreFollows)) return -1;
        for (std::size_t i = 0; i < dataBlocks; ++i) {
            const bool last = i + 1 == dataBlocks;
            b += last ? -1 : 0;
            if (b <= 0 && (!last || moreFollows)) return -1;
        }
        return b;
    }
};

class WordDamage {
public:
    explicit WordDamage(const GscTransmitOptions& options) : options_(options), rng_(options.seed) {}

    std::uint32_t Apply(std::uint32_t word) {
        const int index = next_++;
        int flips = options_.bitErrors;
        if (std::find(options_.errorWords.begin(), options_.errorWords.end(), index) != options_.errorWords.end())
            flips = kUncorrectableFlips;
        return flips > 0 ? FlipRandomBits(word, flips, rng_, 23) : word;
    }

private:
    const GscTransmitOptions& options_;
    std::mt19937 rng_;
    int next_ = 0;
};

}  // namespace

GscAddressPlan GscPlanAddress(std::int32_t capcode, int function) {
    const int p = capcode / 100000;
    const int d = capcode / 1000 % 100;
    const int e = capcode / 100 % 10;
    const int f = capcode % 100;
    const int c1 = (function - 1) / 2 % 2;
    const int c2 = (function - 1) % 2;

    const int highF = f >= 50 ? 1 : 0;
    const int highD = d >= 50 ? 1 : 0;
    const int q = 4 * e + 2 * highF + highD;
    const int r = 2 * f - 100 * highF;
    const int b = 100 * q + r;  // even, at most 3998
    const std::uint32_t half = static_cast<std::uint32_t>(b / 2);

    GscAddressPlan plan;
    plan.addressCode = 2 * (d - 50 * highD) + c1;
    plan.w2Data = c2 ? (0x800u | (~half & 0x7FFu)) : half;
    plan.preambleIndex = (p + d % 10) % 10;
    return plan;
}

std::uint32_t GscAddressWord1(int addressCode) {
    const std::uint32_t word = GolayCorrect(kGscAddressWords[static_cast<std::size_t>(addressCode / 2)]);
    return (addressCode & 1) ? word ^ kGolayMask : word;
}

bool GscNumericBlock(std::string_view digits, bool more, std::uint64_t& data) {
    if (digits.size() > 12) return false;
    data = 0;
    for (std::size_t m = 0; m < 12; ++m) {
        const int v = m < digits.size() ? NumericValue(digits[m]) : 10;
        if (v < 0) return false;
        data |= static_cast<std::uint64_t>(v) << (4 * m);
    }
    if (more) data |= std::uint64_t{1} << kGscContinuationBit;
    return true;
}

bool GscAlphaBlock(std::string_view text, bool more, std::uint64_t& data) {
    if (text.size() > 8) return false;
    data = 0;
    for (std::size_t m = 0; m < text.size(); ++m) {
        const int v = AlphaValue(text[m]);
        if (v < 0) return false;
        data |= static_cast<std::uint64_t>(v) << (6 * m);
    }
    if (text.size() < 8) data |= static_cast<std::uint64_t>(kGscAlphaEnd) << (6 * text.size());
    if (more) data |= std::uint64_t{1} << kGscContinuationBit;
    return true;
}

bool GscPageBlocks(PageKind kind, std::string_view text, std::vector<std::uint64_t>& blocks, std::string& error) {
    blocks.clear();
    if (kind == PageKind::Tone || text.empty()) return true;
    const bool numeric = kind == PageKind::Numeric;
    if (kind != PageKind::Numeric && kind != PageKind::Alpha) {
        error = "gsc: pages are numeric, alpha or tone";
        return false;
    }
    const std::size_t perBlock = numeric ? 12 : 8;
    if (text.size() > (numeric ? kGscMaxNumericDigits : kGscMaxAlphaChars)) {
        error = numeric ? "gsc: a numeric page holds at most 24 digits" : "gsc: an alpha page holds at most 80 characters";
        return false;
    }
    for (std::size_t at = 0; at < text.size(); at += perBlock) {
        const std::string_view part = text.substr(at, perBlock);
        const bool more = at + perBlock < text.size();
        std::uint64_t data = 0;
        if (!(numeric ? GscNumericBlock(part, more, data) : GscAlphaBlock(part, more, data))) {
            error = numeric ? "gsc: numeric pages carry 0-9, space, U, -, ) and ("
                            : "gsc: alpha pages carry space to Z, [ and ] (no @, \\ or ^)";
            return false;
        }
        blocks.push_back(data);
    }
    return true;
}

void GscSampleWriter::AppendDotting(int count) {
    for (int i = 0; i < count; ++i) samples.push_back(static_cast<std::uint8_t>((i + 1) & 1));
}

void GscSampleWriter::AppendLevel(int level, int count) {
    samples.insert(samples.end(), static_cast<std::size_t>(std::max(count, 0)), static_cast<std::uint8_t>(level & 1));
}

void GscSampleWriter::AppendPreamble(int index, bool complemented) {
    std::uint32_t word = kGscPreambleWords[static_cast<std::size_t>(index)];
    if (complemented) word ^= kGolayMask;
    for (int j = 0; j < 23; ++j) AppendLevel(static_cast<int>((word >> j) & 1u), 2);
}

void GscSampleWriter::AppendWordBlock(std::uint32_t w1, std::uint32_t w2) {
    AppendDotting(kGscCommaSamples);
    for (int j = 0; j < 23; ++j) AppendLevel(static_cast<int>((w1 >> j) & 1u), 2);
    AppendLevel(static_cast<int>((w1 >> 22) & 1u), 1);
    for (int j = 0; j < 23; ++j) AppendLevel(static_cast<int>((w2 >> j) & 1u), 2);
}

void GscSampleWriter::AppendStartCode() { AppendWordBlock(kGscStartCode, kGscStartCode ^ kGolayMask); }

void GscSampleWriter::AppendAddress(const GscAddressPlan& plan) {
    AppendWordBlock(GscAddressWord1(plan.addressCode), GolayEncode(plan.w2Data));
}

void GscSampleWriter::AppendDataBlock(std::uint64_t data56) {
    const std::size_t first = samples.size();
    for (std::uint32_t attempt = 0;; ++attempt) {
        samples.resize(first);
        samples.push_back(0);  // not read
        for (int n = 0; n < 120; ++n) {
            const int k = n % 8;
            const int j = n / 8;
            int bit = 0;
            if (j < 7) {
                bit = static_cast<int>((data56 >> (7 * k + j)) & 1u);
            } else {
                // Filler: a different pattern on every attempt.
                const std::uint32_t fill = (attempt * 0x9E3779B1u) >> (k + 3 * (j - 7));
                bit = attempt == 0 ? 0 : static_cast<int>(fill & 1u);
            }
            samples.push_back(static_cast<std::uint8_t>(bit));
        }
        if (!ReadsAsControlBlock(samples, first)) return;
    }
}

bool BuildGscSamples(const std::vector<GscPage>& pages, const GscTransmitOptions& options,
                     std::vector<std::uint8_t>& samples, std::string& error) {
    GscSampleWriter writer;
    WordDamage damage(options);
    auto sendWords = [&](std::uint32_t w1, std::uint32_t w2) { writer.AppendWordBlock(damage.Apply(w1), damage.Apply(w2)); };

    std::size_t first = 0;
    while (first < pages.size()) {
        // One transmission: the run of pages sharing a preamble index.
        std::vector<GscAddressPlan> plans;
        std::vector<std::vector<std::uint64_t>> blocks;
        std::size_t end = first;
        for (; end < pages.size(); ++end) {
            const GscPage& page = pages[end];
            if (page.capcode < 0 || page.capcode > 999999 || page.function < 1 || page.function > 4) {
                error = "gsc: capcode 0..999999 and function 1..4";
                return false;
            }
            const GscAddressPlan plan = GscPlanAddress(page.capcode, page.function);
            if (!plans.empty() && plan.preambleIndex != plans.front().preambleIndex) break;
            plans.push_back(plan);
            blocks.emplace_back();
            if (!GscPageBlocks(page.kind, page.text, blocks.back(), error)) return false;
        }

        writer.AppendDotting();
        for (int i = 0; i < options.preambles; ++i)
            writer.AppendPreamble(plans.front().preambleIndex, options.complementedPreamble);
        sendWords(kGscStartCode, kGscStartCode ^ kGolayMask);
        Budget budget{!options.complementedPreamble,
                      options.complementedPreamble ? kGscComplementBlocks : kGscPlainBlocks};
        for (std::size_t i = 0; i < plans.size(); ++i) {
            const bool moreFollows = i + 1 < plans.size();
            int left = budget.After(blocks[i].size(), moreFollows);
            if (left < 0) {
                sendWords(kGscStartCode, kGscStartCode ^ kGolayMask);
                budget.left = kGscComplementBlocks;  // a start code block does not count
                left = budget.After(blocks[i].size(), moreFollows);
            }
            sendWords(GscAddressWord1(plans[i].addressCode), GolayEncode(plans[i].w2Data));
            for (const std::uint64_t data : blocks[i]) writer.AppendDataBlock(data);
            budget.left = left;
        }
        // Idle until the receiver has used up its budget and unlocked.
        writer.AppendLevel(0, (budget.left + 1) * kGscBlockBits);
        first = end;
    }
    samples = std::move(writer.samples);
    return true;
}

void AppendGscSamples(const std::vector<std::uint8_t>& samples, SymbolStream& out) {
    for (const std::uint8_t s : samples) AppendSymbols(out, s ? 3 : 0, kGscSampleRate);
}

bool EncodeGscPages(const std::vector<PageDescription>& pages, const EncodeOptions& options, SymbolStream& out,
                    std::string& error) {
    if (pages.empty()) return true;
    const std::string& rate = pages.front().rate;
    if (rate != "600" && rate != "600c") {
        error = "gsc: rate must be 600 (plain preamble) or 600c (complemented preamble)";
        return false;
    }
    GscTransmitOptions transmit;
    transmit.complementedPreamble = rate == "600c";
    if (options.preambleBits >= 0) transmit.preambles = (options.preambleBits + 22) / 23;
    transmit.bitErrors = std::min(options.bitErrors, 23);
    transmit.errorWords = options.errorWords;
    transmit.seed = options.seed;

    std::vector<GscPage> gscPages;
    for (const PageDescription& description : pages) {
        GscPage page;
        if (!ParseGscCapcode(description.capcode, page.capcode)) {
            error = "gsc: capcode '" + description.capcode + "' must be 0..999999";
            return false;
        }
        page.function = description.function + 1;
        page.kind = description.kind;
        page.text = description.text;
        gscPages.push_back(std::move(page));
    }
    std::vector<std::uint8_t> samples;
    if (!BuildGscSamples(gscPages, transmit, samples, error)) return false;
    AppendGscSamples(samples, out);
    return true;
}

}  // namespace tolvane::gen
