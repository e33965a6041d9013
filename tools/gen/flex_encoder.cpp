#include "decoders/bits.h"
#include "tools/gen/flex_encoder.h"

#include <algorithm>
#include <cstring>

#include "decoders/bch/bch.h"

namespace tolvane::gen {

namespace {

constexpr int kSpaceDigit = 12;
constexpr std::uint32_t kIdleOnes = 0x1FFFFF;
constexpr std::uint32_t kAlphaPad = 3;
constexpr double kHeaderRate = 1600.0;
constexpr int kGapBeforeFrameInfo = 16;
constexpr int kGapAfterFrameInfo = 40;

constexpr FlexModeInfo kModes[] = {
    {kFlexAir1600_2, FlexMode::Flex1600_2, "1600/2"},
    {kFlexAir3200_2, FlexMode::Flex3200_2, "3200/2"},
    {kFlexAir3200_4, FlexMode::Flex3200_4, "3200/4"},
    {kFlexAir6400_4, FlexMode::Flex6400_4, "6400/4"},
    {kReflexAir, FlexMode::Reflex, "reflex"},
};

// Collects bits, first bit = bit 0 of the first 21-bit word.
class WordPacker {
public:
    void Put(std::uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i) {
            if (used_ == 21) {
                words.push_back(0);
                used_ = 0;
            }
            if ((value >> i) & 1u) words.back() |= 1u << used_;
            ++used_;
        }
    }
    int FreeBits() const { return words.empty() ? 0 : 21 - used_; }

    std::vector<std::uint32_t> words;

private:
    int used_ = 21;
};

int DigitValue(char c) {
    const char* at = std::strchr(kNumericTable, c);
    return c != '\0' && at != nullptr ? static_cast<int>(at - kNumericTable) : -1;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One page in words: its address, the fixed fields of its vector, the
// second vector word of a long address, and the message words.
struct PageWords {
    std::vector<std::uint32_t> address;
    std::uint32_t vector = 0;
    bool vectorNamesMessage = false;
    std::uint32_t x = 0;
    std::vector<std::uint32_t> message;
    int lengthField = 0;  // the vector's length field
};

bool DigitsOf(const std::string& content, std::vector<int>& digits, std::string& error) {
    for (const char c : content) {
        const int d = DigitValue(c);
        if (d < 0) {
            error = std::string("not a numeric character: '") + c + "'";
            return false;
        }
        digits.push_back(d);
    }
    return true;
}

bool SevenBit(const std::string& content, std::string& error) {
    for (const char c : content) {
        if (static_cast<unsigned char>(c) > 127) {
            error = "text must be 7-bit";
            return false;
        }
    }
    return true;
}

bool EncodeContent(const FlexPage& page, PageWords& p, std::string& error) {
    const auto type = static_cast<std::uint32_t>(page.type);
    switch (page.type) {
        case kFlexInstruction:
            p.vector = (type << 4) | (static_cast<std::uint32_t>(page.assignFrame & 127) << 10) |
                       (static_cast<std::uint32_t>(page.group & 15) << 17);
            return true;

        case kFlexShortMessage: {
            std::vector<int> digits;
            if (!DigitsOf(page.content, digits, error)) return false;
            const std::size_t room = page.longAddress ? 8 : 3;
            if (digits.size() > room) {
                error = "a short message holds " + std::to_string(room) + " digits";
                return false;
            }
            if (page.tone) {
                p.vector = (type << 4) | (1u << 7);
                return true;
            }
            digits.resize(room, kSpaceDigit);
            p.vector = (type << 4);
            for (std::size_t i = 0; i < 3; ++i) p.vector |= static_cast<std::uint32_t>(digits[i]) << (9 + 4 * i);
            for (std::size_t i = 3; i < digits.size(); ++i) p.x |= static_cast<std::uint32_t>(digits[i]) << (4 * (i - 3));
            return true;
        }

        case kFlexStandardNumeric:
        case kFlexSpecialNumeric:
        case kFlexNumberedNumeric: {
            std::vector<int> digits;
            if (!DigitsOf(page.content, digits, error)) return false;
            WordPacker packer;
            packer.Put(0, page.type == kFlexNumberedNumeric ? 10 : 2);
            for (const int d : digits) packer.Put(static_cast<std::uint32_t>(d), 4);
            while (packer.FreeBits() >= 4) packer.Put(kSpaceDigit, 4);
            if (packer.words.size() > 8) {
                error = "a numeric message holds at most 8 words";
                return false;
            }
            std::vector<std::uint32_t> words = std::move(packer.words);
            if (page.longAddress) {
                p.x = words.front();
                words.erase(words.begin());
            }
            p.message = std::move(words);
            p.lengthField = static_cast<int>(page.longAddress ? p.message.size() : p.message.size() - 1);
            p.vector = type << 4;
            p.vectorNamesMessage = true;
            return true;
        }

        case kFlexSecure:
        case kFlexAlphanumeric:
        case kFlexBinary: {
            std::vector<std::uint32_t> body;
            if (page.type == kFlexBinary) {
                WordPacker packer;
                for (const char c : page.content) {
                    const int h = HexValue(c);
                    if (h < 0) {
                        error = std::string("not a hex digit: '") + c + "'";
                        return false;
                    }
                    packer.Put(static_cast<std::uint32_t>(h), 4);
                }
                body = std::move(packer.words);
            } else {
                if (!SevenBit(page.content, error)) return false;
                std::vector<std::uint32_t> chars;
                if (page.fragment == 3) {
                    // Signature character of a complete message; the receiver drops it.
                    std::uint32_t sum = 0;
                    for (const char c : page.wholeMessage.empty() ? page.content : page.wholeMessage)
                        sum += static_cast<unsigned char>(c);
                    chars.push_back(~sum & 0x7F);
                }
                for (const char c : page.content) chars.push_back(static_cast<unsigned char>(c));
                while (chars.size() % 3 != 0) chars.push_back(kAlphaPad);
                for (std::size_t i = 0; i < chars.size(); i += 3)
                    body.push_back(chars[i] | (chars[i + 1] << 7) | (chars[i + 2] << 14));
            }
            const std::uint32_t header = FlexWithChecksum(static_cast<std::uint32_t>(page.fragment & 3) << 11 |
                                                          (page.more ? 1u : 0u) << 10 |
                                                          static_cast<std::uint32_t>(page.messageNumber & 63) << 13);
            if (page.longAddress)
                p.x = header;
            else
                body.insert(body.begin(), header);
            p.message = std::move(body);
            p.lengthField = static_cast<int>(p.message.size()) + (page.longAddress ? 1 : 0);
            p.vector = type << 4;
            p.vectorNamesMessage = true;
            return true;
        }
        default:
            error = "vector type must be 0..7";
            return false;
    }
}

bool EncodePage(const FlexPage& page, PageWords& p, std::string& error) {
    if (page.temporaryAddress >= 0) {
        p.address = {static_cast<std::uint32_t>(kFlexFirstGroupWord) + static_cast<std::uint32_t>(page.temporaryAddress & 15)};
    } else if (page.longAddress) {
        std::uint32_t first = 0;
        std::uint32_t second = 0;
        FlexLongAddressWords(page.capcode, first, second);
        p.address = {first, second};
    } else {
        std::uint32_t word = 0;
        if (!FlexShortAddressWord(page.capcode, word)) {
            error = "short capcode out of range: " + std::to_string(page.capcode);
            return false;
        }
        p.address = {word};
    }
    return EncodeContent(page, p, error);
}

void FillIdle(FlexPhaseWords& words) {
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = i % 2 == 0 ? kIdleOnes : 0;
}

bool BuildPhase(const std::vector<const FlexPage*>& pages, int extraBiws, FlexPhaseWords& words, char letter,
                std::string& error) {
    std::vector<PageWords> encoded(pages.size());
    int addressWords = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (!EncodePage(*pages[i], encoded[i], error)) return false;
        addressWords += static_cast<int>(encoded[i].address.size());
    }
    const int addressStart = 1 + extraBiws;
    const int vectorStart = addressStart + addressWords;
    if (vectorStart > 63) {
        error = std::string("too many addresses in phase ") + letter;
        return false;
    }
    int next = vectorStart + addressWords;  // first message word
    for (const PageWords& p : encoded) next += static_cast<int>(p.message.size());
    if (next > kFlexWordsPerPhase) {
        error = std::string("phase ") + letter + " needs " + std::to_string(next) + " words, a frame has 88";
        return false;
    }

    FillIdle(words);
    words[0] = FlexWithChecksum((static_cast<std::uint32_t>(extraBiws) << 8) | (static_cast<std::uint32_t>(vectorStart) << 10));
    for (int i = 1; i < addressStart; ++i) words[static_cast<std::size_t>(i)] = FlexWithChecksum(0);
    int address = addressStart;
    int message = vectorStart + addressWords;
    for (const PageWords& p : encoded) {
        const auto vectorAt = static_cast<std::size_t>(vectorStart + (address - addressStart));
        std::uint32_t vector = p.vector;
        if (p.vectorNamesMessage)
            vector |= (static_cast<std::uint32_t>(message) << 7) | (static_cast<std::uint32_t>(p.lengthField) << 14);
        words[vectorAt] = FlexWithChecksum(vector);
        if (p.address.size() == 2) words[vectorAt + 1] = p.x;
        for (const std::uint32_t a : p.address) words[static_cast<std::size_t>(address++)] = a;
        for (const std::uint32_t m : p.message) words[static_cast<std::size_t>(message++)] = m;
    }
    return true;
}

bool BuildReflex(const FlexFrame& frame, FlexFrameWords& out, std::string& error) {
    for (FlexPhaseWords& words : out.phases) FillIdle(words);
    out.phases[0][0] = FlexWithChecksum(1u << 10);
    std::size_t slot = 0;
    for (const FlexPage& page : frame.pages) {
        if (!SevenBit(page.content, error)) return false;
        std::string text = page.content;
        while (text.size() % 3 != 0) text += ' ';
        for (std::size_t i = 0; i < text.size(); i += 3, ++slot) {
            const std::size_t index = 1 + slot / 4;
            if (index >= kFlexWordsPerPhase) {
                error = "ReFLEX text does not fit in one frame";
                return false;
            }
            out.phases[slot % 4][index] = static_cast<std::uint32_t>(text[i]) |
                                          (static_cast<std::uint32_t>(text[i + 1]) << 7) |
                                          (static_cast<std::uint32_t>(text[i + 2]) << 14);
        }
    }
    return true;
}

// A 4-level symbol from the high and low bits it carries.
std::uint8_t FourLevelSymbol(std::uint32_t high, std::uint32_t low) {
    static constexpr std::uint8_t kSymbols[2][2] = {{0, 1}, {3, 2}};
    return kSymbols[high & 1u][low & 1u];
}

std::uint8_t TwoLevelSymbol(std::uint32_t bit) { return (bit & 1u) ? 3 : 0; }

// Bit k (0 = first sent) of a codeword.
std::uint32_t SentBit(std::uint32_t codeword, int k) { return (codeword >> (31 - k)) & 1u; }

// Window form of the header bits: 1 = symbol 0 (a FLEX 0), as a receiver
// shifts them into its sync registers.
using HeaderBits = std::vector<std::uint8_t>;

// Bit sync (reversals ending so that the 16 bits before the code read
// 0xAAAA) and the 64 sync bits.
void AppendSyncBits(HeaderBits& bits, int preambleBits, std::uint16_t code, std::uint16_t complement) {
    for (int i = 0; i < preambleBits; ++i) bits.push_back((preambleBits - 1 - i) % 2 == 0 ? 0 : 1);
    const std::uint32_t window[4] = {code, kFlexMarkerHigh, kFlexMarkerLow, complement};
    for (const std::uint32_t part : window)
        for (int bit = 15; bit >= 0; --bit) bits.push_back(static_cast<std::uint8_t>((part >> bit) & 1u));
}

// The comma around the frame information word: plain reversals, as
// transmitters send it. Next to some frame information words they read
// like the sync marker; a receiver must not take that for a new sync.
void AppendComma(HeaderBits& bits, int count) {
    for (int i = 0; i < count; ++i) bits.push_back(static_cast<std::uint8_t>(i % 2));
}

void AppendHeaderSymbols(SymbolStream& out, const HeaderBits& bits) {
    for (const std::uint8_t bit : bits) AppendSymbols(out, bit ? 0 : 3, kHeaderRate);
}

}  // namespace

const FlexModeInfo& FlexModeInfoOf(FlexMode mode) {
    for (const FlexModeInfo& info : kModes)
        if (info.mode == mode) return info;
    return kModes[0];
}

bool ParseFlexMode(std::string_view text, FlexMode& mode) {
    for (const FlexModeInfo& info : kModes) {
        if (text == info.name) {
            mode = info.mode;
            return true;
        }
    }
    return false;
}

std::uint32_t FlexWithChecksum(std::uint32_t word) {
    word &= 0x1FFFF0;
    const std::uint32_t sum = (word >> 4) + (word >> 8) + (word >> 12) + (word >> 16) + ((word >> 20) & 1u);
    return word | ((15u - (sum & 15u)) & 15u);
}

std::uint32_t FlexFrameInfoWord(int cycle, int frame) {
    return FlexWithChecksum((static_cast<std::uint32_t>(cycle & 15) << 4) | (static_cast<std::uint32_t>(frame & 127) << 8));
}

bool FlexShortAddressWord(std::uint32_t capcode, std::uint32_t& word) {
    const bool low = capcode >= 1 && capcode <= 0x1D8000;
    const bool high = capcode >= 0x1E8001 && capcode <= kFlexMaxShortCapcode;
    if (!low && !high) return false;
    word = capcode + 0x8000;
    return true;
}

void FlexLongAddressWords(std::uint32_t capcode, std::uint32_t& first, std::uint32_t& second) {
    // capcode = (NOT second << 15) + first + 0x1F9000 in 32-bit arithmetic,
    // with first in 1..0x8000 (a long-address value).
    first = ((capcode - 0x1F9001u) & 0x7FFFu) + 1;
    const std::uint32_t high = capcode - 0x1F9000u - first;  // a multiple of 0x8000
    second = 0x1E0000u | (~(high >> 15) & 0x1FFFFu);
}

std::uint32_t FlexCodeword(std::uint32_t word) {
    std::uint32_t information = 0;  // BchEncode sends bit 20 first
    for (int k = 0; k < 21; ++k)
        if ((word >> k) & 1u) information |= 1u << (20 - k);
    return BchEncode(information);
}

int FlexPagePhase(const FlexPage& page, FlexMode mode) {
    if (page.phase >= 0) return page.phase;
    const FlexModeInfo& info = FlexModeInfoOf(mode);
    const int letter = (static_cast<std::int32_t>(page.capcode) >> 2) & 3;
    if (info.phases[static_cast<std::size_t>(letter)]) return letter;
    std::vector<int> active;
    for (int p = 0; p < 4; ++p)
        if (info.phases[static_cast<std::size_t>(p)]) active.push_back(p);
    return active[static_cast<std::size_t>(letter) % active.size()];
}

bool BuildFlexFrameWords(const FlexFrame& frame, FlexFrameWords& out, std::string& error) {
    const FlexModeInfo& info = FlexModeInfoOf(frame.mode);
    out = FlexFrameWords{};
    out.mode = frame.mode;
    out.syncCode = info.syncCode;
    out.frameInfo = FlexFrameInfoWord(frame.cycle, frame.frame);
    if (frame.extraBiws < 0 || frame.extraBiws > 3) {
        error = "further block information words: 0..3";
        return false;
    }
    if (frame.mode == FlexMode::Reflex) return BuildReflex(frame, out, error);

    std::array<std::vector<const FlexPage*>, 4> byPhase;
    for (const FlexPage& page : frame.pages) {
        const int phase = FlexPagePhase(page, frame.mode);
        if (phase > 3 || !info.phases[static_cast<std::size_t>(phase)]) {
            error = std::string("mode ") + info.name + " has no phase " + static_cast<char>('A' + (phase & 3));
            return false;
        }
        byPhase[static_cast<std::size_t>(phase)].push_back(&page);
    }
    for (std::size_t p = 0; p < 4; ++p) {
        if (!BuildPhase(byPhase[p], frame.extraBiws, out.phases[p], static_cast<char>('A' + p), error)) return false;
    }
    return true;
}

FlexFrameCodewords EncodeFlexCodewords(const FlexFrameWords& words) {
    FlexFrameCodewords out;
    out.mode = words.mode;
    out.syncCode = words.syncCode;
    out.syncComplement = static_cast<std::uint16_t>(~words.syncCode);
    out.frameInfo = FlexCodeword(words.frameInfo);
    for (std::size_t p = 0; p < 4; ++p)
        for (std::size_t i = 0; i < kFlexWordsPerPhase; ++i) out.phases[p][i] = FlexCodeword(words.phases[p][i]);
    return out;
}

void AppendFlexFrame(SymbolStream& out, const FlexFrameCodewords& frame, int preambleBits) {
    HeaderBits header;
    AppendSyncBits(header, preambleBits, frame.syncCode, frame.syncComplement);
    AppendComma(header, kGapBeforeFrameInfo);
    for (int k = 0; k < 32; ++k) header.push_back(static_cast<std::uint8_t>(SentBit(frame.frameInfo, k) ^ 1u));
    AppendComma(header, kGapAfterFrameInfo);
    AppendHeaderSymbols(out, header);

    const FlexModeInfo& info = FlexModeInfoOf(frame.mode);
    const auto rate = static_cast<double>(info.symbolRate);
    const auto bitOf = [&](int phase, int block, int position) {
        const std::uint32_t codeword = frame.phases[static_cast<std::size_t>(phase)][static_cast<std::size_t>(block * 8 + position % 8)];
        return SentBit(codeword, position / 8);
    };
    for (int block = 0; block < 11; ++block) {
        for (int position = 0; position < 256; ++position) {
            if (info.levels == 2) {
                AppendSymbols(out, TwoLevelSymbol(bitOf(0, block, position)), rate);
                if (info.symbolRate == 3200) AppendSymbols(out, TwoLevelSymbol(bitOf(2, block, position)), rate);
            } else {
                AppendSymbols(out, FourLevelSymbol(bitOf(0, block, position), bitOf(1, block, position)), rate);
                if (info.symbolRate == 3200)
                    AppendSymbols(out, FourLevelSymbol(bitOf(2, block, position), bitOf(3, block, position)), rate);
            }
        }
    }
}

void AppendFlexLeadIn(SymbolStream& out, int cycles, std::uint16_t code) {
    HeaderBits bits;
    for (int c = 0; c < cycles; ++c)
        AppendSyncBits(bits, kFlexPreambleBits, code, static_cast<std::uint16_t>(~code));
    AppendHeaderSymbols(out, bits);
}

bool AppendFlexFrame(SymbolStream& out, const FlexFrame& frame, std::string& error) {
    FlexFrameWords words;
    if (!BuildFlexFrameWords(frame, words, error)) return false;
    AppendFlexFrame(out, EncodeFlexCodewords(words));
    return true;
}

std::uint32_t MakeFlexUncorrectable(std::uint32_t codeword, std::mt19937& rng) {
    Bch bch;
    for (;;) {
        // Check bits are codeword bits 1..10 (bit 0 is the parity bit).
        const std::uint32_t damaged = codeword ^ (FlipRandomBits(0, 3, rng, 10) << 1);
        bch.LoadCodeword(damaged);
        if (bch.BchCorrect() == 3 && bch.CodewordValue() >> 11 == codeword >> 11) return damaged;
    }
}

bool FlexPageFromDescription(const PageDescription& description, FlexPage& page, std::string& error) {
    page = FlexPage{};
    const std::string& digits = description.capcode;
    if (digits.empty() || digits.size() > 10 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        error = "FLEX capcode '" + digits + "' is not 1 to 10 digits";
        return false;
    }
    const unsigned long long value = std::stoull(digits);
    if (value > 0xFFFFFFFFull) {
        error = "FLEX capcode " + digits + " does not fit in 32 bits";
        return false;
    }
    page.capcode = static_cast<std::uint32_t>(value);
    page.longAddress = digits.size() >= 8;
    std::uint32_t unused = 0;
    if (!page.longAddress && !FlexShortAddressWord(page.capcode, unused)) {
        error = "short FLEX capcode " + digits + " is outside 1..1933312 and 1998849..2031614";
        return false;
    }
    page.content = description.text;
    static constexpr int kNone = -1;
    static constexpr int kTypes[4][4] = {
        {kFlexStandardNumeric, kFlexSpecialNumeric, kFlexNumberedNumeric, kNone},  // numeric
        {kFlexAlphanumeric, kFlexSecure, kNone, kNone},                           // alpha
        {kFlexShortMessage, kFlexInstruction, kNone, kNone},                      // tone
        {kFlexBinary, kNone, kNone, kNone},                                       // binary
    };
    const int kind = static_cast<int>(description.kind);
    const int type = description.function >= 0 && description.function < 4 && kind >= 0 && kind < 4 ? kTypes[kind][description.function] : kNone;
    if (type == kNone) {
        error = std::string("FLEX has no ") + PageKindName(description.kind) + " page of function " + std::to_string(description.function);
        return false;
    }
    page.type = type;
    page.tone = type == kFlexShortMessage && description.text.empty();
    return true;
}

bool EncodeFlexPages(const std::vector<PageDescription>& pages, const EncodeOptions& options, SymbolStream& out,
                     std::string& error) {
    if (pages.empty()) return true;
    FlexMode mode = FlexMode::Flex1600_2;
    if (!ParseFlexMode(pages.front().rate, mode)) {
        error = "FLEX mode '" + pages.front().rate + "' is not 1600/2, 3200/2, 3200/4, 6400/4 or reflex";
        return false;
    }
    // Fill frames in order; a page that does not fit opens the next frame.
    std::vector<FlexFrame> frames(1);
    frames.back().mode = mode;
    const auto openFrame = [&] {
        FlexFrame next;
        next.mode = mode;
        next.frame = (frames.back().frame + 1) % 128;
        next.cycle = (frames.back().cycle + (next.frame == 0 ? 1 : 0)) % 16;
        frames.push_back(next);
    };
    const auto place = [&](const FlexPage& page) {
        frames.back().pages.push_back(page);
        FlexFrameWords trial;
        if (BuildFlexFrameWords(frames.back(), trial, error)) return true;
        frames.back().pages.pop_back();
        if (frames.back().pages.empty()) return false;  // alone it does not fit either
        openFrame();
        frames.back().pages.push_back(page);
        return BuildFlexFrameWords(frames.back(), trial, error);
    };
    const auto fits = [&](const FlexPage& page) {
        frames.back().pages.push_back(page);
        FlexFrameWords trial;
        std::string ignored;
        const bool ok = BuildFlexFrameWords(frames.back(), trial, ignored);
        frames.back().pages.pop_back();
        return ok;
    };
    // A text that no frame holds whole goes out in fragments.
    int messages = 0;
    const auto placeInFragments = [&](FlexPage page) {
        std::string rest = page.content;
        page.wholeMessage = page.content;
        page.messageNumber = messages++ % 64;
        page.fragment = 3;
        for (;;) {
            page.content = rest;
            page.more = false;
            if (fits(page)) {
                frames.back().pages.push_back(page);
                return true;
            }
            // The longest beginning that fits in the room left.
            page.more = true;
            std::size_t low = 0;
            std::size_t high = rest.size() - 1;
            while (low < high) {
                const std::size_t mid = (low + high + 1) / 2;
                page.content = rest.substr(0, mid);
                if (fits(page))
                    low = mid;
                else
                    high = mid - 1;
            }
            if (low > 0) {
                page.content = rest.substr(0, low);
                frames.back().pages.push_back(page);
                rest.erase(0, low);
                page.fragment = page.fragment == 3 ? 0 : (page.fragment + 1) % 3;
            } else if (frames.back().pages.empty()) {
                error = "a FLEX page does not fit in a frame";
                return false;
            }
            openFrame();
        }
    };
    int groups = 0;
    for (const PageDescription& description : pages) {
        if (description.rate != pages.front().rate) {
            error = "one FLEX transmission has one mode";
            return false;
        }
        if (description.capcode.find('+') == std::string::npos) {
            FlexPage page;
            if (!FlexPageFromDescription(description, page, error)) return false;
            const bool text = page.type == kFlexAlphanumeric || page.type == kFlexSecure;
            FlexPage alone = page;
            FlexFrame empty;
            empty.mode = mode;
            empty.pages = {alone};
            FlexFrameWords trial;
            std::string ignored;
            if (text && !page.content.empty() && !BuildFlexFrameWords(empty, trial, ignored)) {
                if (!placeInFragments(page)) return false;
            } else if (!place(page)) {
                return false;
            }
            continue;
        }
        // A group call: the assignments go in this frame, the message to
        // the temporary address in the next, all on the first pager's phase.
        const int group = groups++ % kFlexGroups;
        const int assignFrame = (frames.back().frame + 1) % 128;
        int phase = -1;
        PageDescription member = description;
        for (std::size_t from = 0; from <= description.capcode.size();) {
            std::size_t to = description.capcode.find('+', from);
            if (to == std::string::npos) to = description.capcode.size();
            member.capcode = description.capcode.substr(from, to - from);
            FlexPage page;
            if (!FlexPageFromDescription(member, page, error)) return false;
            if (phase < 0) phase = FlexPagePhase(page, mode);
            page.type = kFlexInstruction;
            page.phase = phase;
            page.assignFrame = assignFrame;
            page.group = group;
            frames.back().pages.push_back(page);
            FlexFrameWords trial;
            if (!BuildFlexFrameWords(frames.back(), trial, error)) return false;
            from = to + 1;
        }
        member.capcode = "1";
        FlexPage page;
        if (!FlexPageFromDescription(member, page, error)) return false;
        page.temporaryAddress = group;
        page.phase = phase;
        openFrame();
        if (!place(page)) return false;
    }
    error.clear();

    std::mt19937 rng(options.seed);
    const int width = options.errorsInInfoOnly ? 21 : 32;
    const auto damage = [&](std::uint32_t codeword) {
        if (options.bitErrors <= 0) return codeword;
        const std::uint32_t flips = FlipRandomBits(0, options.bitErrors, rng, width);
        return codeword ^ (options.errorsInInfoOnly ? flips << 11 : flips);
    };
    const int preamble = options.preambleBits >= 0 ? options.preambleBits : kFlexPreambleBits;
    const FlexModeInfo& info = FlexModeInfoOf(mode);
    AppendFlexLeadIn(out, options.flexLeadIn, options.flexLeadInCode);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        FlexFrameWords words;
        if (!BuildFlexFrameWords(frames[f], words, error)) return false;
        FlexFrameCodewords codewords = EncodeFlexCodewords(words);
        codewords.frameInfo = damage(codewords.frameInfo);
        for (std::size_t p = 0; p < 4; ++p) {
            if (!info.phases[p]) continue;
            for (std::size_t w = 0; w < kFlexWordsPerPhase; ++w) {
                const auto number = static_cast<int>(f * 352 + p * kFlexWordsPerPhase + w);
                std::uint32_t& codeword = codewords.phases[p][w];
                if (std::find(options.errorWords.begin(), options.errorWords.end(), number) != options.errorWords.end())
                    codeword = MakeFlexUncorrectable(codeword, rng);
                else
                    codeword = damage(codeword);
            }
        }
        AppendFlexFrame(out, codewords, preamble);
    }
    return true;
}

}  // namespace tolvane::gen
