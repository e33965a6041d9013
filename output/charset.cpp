#include "output/charset.h"

namespace tolvane {

namespace {

// The seven characters that national variants give away, and what each
// variant makes of them, in the same order.
constexpr std::array<std::uint8_t, 7> kReplaced = {'[', '\\', ']', '{', '|', '}', '~'};
constexpr std::array<std::array<std::uint8_t, 7>, kNationalCharsetCount> kLetters = {{
    {'[', '\\', ']', '{', '|', '}', '~'},   // ASCII
    {0xC4, 0xD6, 0xDC, 0xE4, 0xF6, 0xFC, 0xDF},  // German: Ä Ö Ü ä ö ü ß
    {0xC6, 0xD8, 0xC5, 0xE6, 0xF8, 0xE5, '~'},   // Danish/Norwegian: Æ Ø Å æ ø å
    {0xC4, 0xD6, 0xC5, 0xE4, 0xF6, 0xE5, 0xFC},  // Swedish/Finnish: Ä Ö Å ä ö å ü
    {0xB0, 0xE7, 0xA7, 0xE9, 0xF9, 0xE8, 0xA8},  // French: ° ç § é ù è ¨
    {0xB0, 0xE7, 0xE9, 0xE0, 0xF2, 0xE8, 0xEC},  // Italian: ° ç é à ò è ì
    {0xA1, 0xD1, 0xBF, 0xB0, 0xF1, 0xE7, '~'},   // Spanish: ¡ Ñ ¿ ° ñ ç
}};

constexpr char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

}  // namespace

std::uint8_t NationalLetter(NationalCharset charset, std::uint8_t ch) {
    const auto table = static_cast<std::size_t>(charset);
    if (table >= kLetters.size()) return ch;
    for (std::size_t i = 0; i < kReplaced.size(); ++i)
        if (kReplaced[i] == ch) return kLetters[table][i];
    return ch;
}

NationalCharset CharsetOfSetting(std::int32_t value) {
    return value >= 0 && value <= kNationalCharsetLast ? static_cast<NationalCharset>(value) : NationalCharset::Ascii;
}

std::optional<NationalCharset> ParseNationalCharset(std::string_view text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '0' + kNationalCharsetLast)
        return static_cast<NationalCharset>(text[0] - '0');
    for (std::size_t i = 0; i < kNationalCharsetNames.size(); ++i) {
        const std::string_view name = kNationalCharsetNames[i];
        const std::size_t slash = name.find('/');
        if (SameName(text, name) ||
            (slash != std::string_view::npos && (SameName(text, name.substr(0, slash)) || SameName(text, name.substr(slash + 1)))))
            return static_cast<NationalCharset>(i);
    }
    return std::nullopt;
}

void AppendLatin1AsUtf8(std::string& out, std::uint8_t ch) {
    if (ch < 0x80) {
        out += static_cast<char>(ch);
        return;
    }
    out += static_cast<char>(0xC0 | (ch >> 6));
    out += static_cast<char>(0x80 | (ch & 0x3F));
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) AppendLatin1AsUtf8(text, static_cast<std::uint8_t>(c));
    return text;
}

char32_t NextTypedChar(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    int extra = 0;
    char32_t code = lead;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        code = lead & 0x07;
    }
    if (extra == 0 || at + static_cast<std::size_t>(extra) >= text.size()) {
        ++at;
        return lead;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto next = static_cast<std::uint8_t>(text[at + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return lead;  // not a sequence: the byte stands for itself
        }
        code = (code << 6) | (next & 0x3F);
    }
    at += static_cast<std::size_t>(extra) + 1;
    return code;
}

std::string TypedToLatin1(std::string_view text, std::size_t limit) {
    std::string cells;
    for (std::size_t at = 0; at < text.size() && cells.size() < limit;) {
        const char32_t c = NextTypedChar(text, at);
        cells += c <= 0xFF ? static_cast<char>(static_cast<std::uint8_t>(c)) : '?';
    }
    return cells;
}

}  // namespace tolvane
