#include "decoders/bits.h"
#include "tools/gen/pocsag_encoder.h"

#include <algorithm>
#include <array>

#include "decoders/bch/bch.h"

namespace tolvane::gen {

namespace {

constexpr int kNumericSpace = 12;
constexpr std::uint32_t kInfoMask = 0xFFFFF800;  // the 21 bits before the check bits

// Collects message bits in sending order and cuts them into 20-bit payloads.
class PayloadPacker {
public:
    explicit PayloadPacker(std::vector<std::uint32_t>& words) : words_(words) {}

    // Sends `count` bits of value, least significant first.
    void PutLsbFirst(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) PutBit((value >> i) & 1u);
    }
    void PutBit(std::uint32_t bit) {
        payload_ = (payload_ << 1) | bit;
        if (++bits_ == 20) {
            words_.push_back(PocsagMessageWord(payload_));
            payload_ = 0;
            bits_ = 0;
        }
    }
    int Pending() const { return bits_; }

private:
    std::vector<std::uint32_t>& words_;
    std::uint32_t payload_ = 0;
    int bits_ = 0;
};

int NumericDigit(char c) {
    if (c == '[') return 15;
    if (c == ']') return 14;
    for (int d = 0; d < 16; ++d)
        if (kNumericTable[d] == c) return d;
    return -1;
}

void AppendBit(SymbolStream& out, int bit, int bitsPerSecond) {
    AppendSymbols(out, bit ? 0 : 3, bitsPerSecond);
}

}  // namespace

bool ParsePocsagRate(std::string_view text, int& bitsPerSecond) {
    if (text == "512") bitsPerSecond = 512;
    else if (text == "1200") bitsPerSecond = 1200;
    else if (text == "2400") bitsPerSecond = 2400;
    else return false;
    return true;
}

bool ParsePocsagCapcode(std::string_view text, std::uint32_t& capcode) {
    if (text.empty() || text.size() > 7) return false;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > kPocsagMaxCapcode) return false;
    capcode = value;
    return true;
}

std::uint32_t PocsagAddressWord(std::uint32_t capcode, int function) {
    const std::uint32_t info = ((capcode >> 3) << 2) | (static_cast<std::uint32_t>(function) & 3u);
    return BchEncode(info & 0xFFFFF);  // flag bit (bit 20) = 0
}

std::uint32_t PocsagMessageWord(std::uint32_t payload20) { return BchEncode(0x100000u | (payload20 & 0xFFFFF)); }

bool PocsagMessageWords(PageKind kind, const std::string& text, std::vector<std::uint32_t>& words,
                        std::string& error) {
    words.clear();
    PayloadPacker packer(words);
    switch (kind) {
        case PageKind::Tone:
            return true;
        case PageKind::Numeric:
            for (const char c : text) {
                const int digit = NumericDigit(c);
                if (digit < 0) {
                    error = std::string("numeric page: '") + c + "' is not one of 0-9 * U space - ) (";
                    return false;
                }
                packer.PutLsbFirst(static_cast<std::uint32_t>(digit), 4);
            }
            while (packer.Pending() != 0) packer.PutLsbFirst(kNumericSpace, 4);
            return true;
        case PageKind::Alpha:
            for (const char c : text) {
                const auto byte = static_cast<unsigned char>(c);
                if (byte > 0x7F) {
                    error = "alphanumeric page: characters must be 7-bit";
                    return false;
                }
                packer.PutLsbFirst(byte, 7);
            }
            // Fill with the bits of spaces; a partial last space is cut off.
            for (int i = 0; packer.Pending() != 0; i = (i + 1) % 7) packer.PutBit((0x20u >> i) & 1u);
            return true;
        case PageKind::Binary:
            break;
    }
    error = std::string("POCSAG has no ") + PageKindName(kind) + " pages";
    return false;
}

bool BuildPocsagSlots(const std::vector<PageDescription>& pages, std::vector<std::uint32_t>& slots, std::string& error) {
    slots.clear();
    std::vector<std::uint32_t> message;
    for (const PageDescription& page : pages) {
        std::uint32_t capcode = 0;
        if (!ParsePocsagCapcode(page.capcode, capcode)) {
            error = "POCSAG capcode '" + page.capcode + "' is not 0..2097151";
            return false;
        }
        if (!PocsagMessageWords(page.kind, page.text, message, error)) return false;
        const std::size_t frame = capcode & 7u;
        while ((slots.size() % kPocsagBatchWords) / 2 != frame) slots.push_back(kPocsagIdleWord);
        slots.push_back(PocsagAddressWord(capcode, page.function));
        slots.insert(slots.end(), message.begin(), message.end());
    }
    while (slots.size() % kPocsagBatchWords != 0) slots.push_back(kPocsagIdleWord);
    if (!slots.empty() && slots.back() != kPocsagIdleWord) slots.insert(slots.end(), kPocsagBatchWords, kPocsagIdleWord);
    return true;
}

std::uint32_t MakePocsagUncorrectable(std::uint32_t word, std::mt19937& rng) {
    // Three of the ten check bits (word bits 1..10); most triples leave a
    // syndrome that no pattern of one or two errors has.
    std::array<int, 10> order{};
    for (int i = 0; i < 10; ++i) order[static_cast<std::size_t>(i)] = i + 1;
    std::shuffle(order.begin(), order.end(), rng);
    Bch bch;
    for (int a = 0; a < 10; ++a)
        for (int b = a + 1; b < 10; ++b)
            for (int c = b + 1; c < 10; ++c) {
                const std::uint32_t damaged = word ^ (1u << order[static_cast<std::size_t>(a)]) ^
                                              (1u << order[static_cast<std::size_t>(b)]) ^
                                              (1u << order[static_cast<std::size_t>(c)]);
                bch.LoadCodeword(damaged);
                if (bch.BchCorrect() == 3 && (bch.CodewordValue() & kInfoMask) == (damaged & kInfoMask)) return damaged;
            }
    return word ^ 0x0000000Eu;  // not reached for valid codewords; still three flips
}

void AppendPocsagWord(SymbolStream& out, std::uint32_t word, int bitsPerSecond, int bits) {
    for (int i = bits - 1; i >= 0; --i) AppendBit(out, static_cast<int>((word >> i) & 1u), bitsPerSecond);
}

bool EncodePocsagPages(const std::vector<PageDescription>& pages, const EncodeOptions& options, SymbolStream& out,
                       std::string& error) {
    if (pages.empty()) return true;
    int rate = 0;
    if (!ParsePocsagRate(pages.front().rate, rate)) {
        error = "POCSAG rate '" + pages.front().rate + "' is not 512, 1200 or 2400";
        return false;
    }
    for (const PageDescription& page : pages) {
        if (page.rate != pages.front().rate) {
            error = "one POCSAG transmission has one rate";
            return false;
        }
    }
    std::vector<std::uint32_t> slots;
    if (!BuildPocsagSlots(pages, slots, error)) return false;

    std::mt19937 rng(options.seed);
    const int width = options.errorsInInfoOnly ? 21 : 32;
    // Random flips among the lowest `width` bits, shifted up to the
    // information bits when only those may be hit.
    auto damage = [&](std::uint32_t word) {
        if (options.bitErrors <= 0) return word;
        const std::uint32_t flips = FlipRandomBits(0, options.bitErrors, rng, width);
        return word ^ (options.errorsInInfoOnly ? flips << 11 : flips);
    };
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const bool uncorrectable =
            std::find(options.errorWords.begin(), options.errorWords.end(), static_cast<int>(i)) !=
            options.errorWords.end();
        slots[i] = uncorrectable ? MakePocsagUncorrectable(slots[i], rng) : damage(slots[i]);
    }

    const int preamble = options.preambleBits >= 0 ? options.preambleBits : kPocsagPreambleBits;
    for (int i = 0; i < preamble; ++i) AppendBit(out, (i & 1) == 0 ? 1 : 0, rate);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (i % kPocsagBatchWords == 0) AppendPocsagWord(out, damage(kPocsagSyncWord), rate);
        AppendPocsagWord(out, slots[i], rate);
    }
    return true;
}

}  // namespace tolvane::gen
