#include "settings/filter_record.h"

#include "settings/quoted_text.h"
#include "settings/settings.h"

namespace tolvane {

namespace {

constexpr std::string_view::size_type kNone = std::string_view::npos;

// The one-character field after the comma at `comma`: the character minus
// '0'; an empty field (another comma) or the end of the value reads as 0.
int DigitAfter(std::string_view v, std::size_t comma) {
    if (comma + 1 >= v.size() || v[comma + 1] == ',') return 0;
    return static_cast<unsigned char>(v[comma + 1]) - '0';
}

}  // namespace

int FilterCapcodeLength(FilterType type) {
    switch (type) {
        case FilterType::Pocsag:
        case FilterType::ShortFlex: return 7;
        case FilterType::LongFlex: return 9;
        case FilterType::Golay: return 6;
        default: return 0;
    }
}

const char* CompleteFilterEntry(FilterRecord& entry) {
    const auto length = static_cast<std::size_t>(FilterCapcodeLength(entry.type));
    if (length > 0) {
        std::string& capcode = entry.capcode;
        if (capcode.size() > kFilterCapcodeMax) capcode.resize(kFilterCapcodeMax);
        if (capcode.empty()) return "You must enter a capcode!";
        if (capcode.size() < length) capcode.insert(0, length - capcode.size(), '0');
        for (const char c : capcode) {
            if (!(c >= '0' && c <= '9') && c != '?') return "Invalid characters in capcode!";
        }
    }
    if (entry.type == FilterType::Text && entry.text.empty()) return "You must enter a text string!";
    return nullptr;
}

std::string FilterTypeName(FilterType type) {
    switch (type) {
        case FilterType::Text: return "Text";
        case FilterType::Pocsag: return "POCSAG";
        case FilterType::ShortFlex: return "Short FLEX";
        case FilterType::LongFlex: return "Long FLEX";
        case FilterType::Golay: return "Golay";
        default: return "UNUSED";
    }
}

std::string FilterFunctionName(int function) {
    if (function == 0) return "Any";
    return std::to_string(function);
}

std::string FilterBaudName(int baud) {
    switch (baud) {
        case 0: return "Any";
        case 1: return "2400";
        case 2: return "1200";
        case 3: return "512";
        default: return std::to_string(baud);
    }
}

std::string FormatFilterLine(const FilterRecord& r) {
    std::string line = FilterTypeName(r.type);
    if (!r.label.empty()) line += " | " + r.label;
    if (!r.capcode.empty()) line += " | " + r.capcode;
    if (FilterUsesFunction(r.type)) line += " | " + FilterFunctionName(r.function);
    if (FilterUsesBaud(r.type)) line += " | " + FilterBaudName(r.baud);
    if (r.charset > 0 && r.charset <= kNationalCharsetLast + 1)
        line += std::string(" | ") + kNationalCharsetNames[static_cast<std::size_t>(r.charset - 1)];
    if (!r.channel.empty()) line += " | on " + r.channel;
    if (r.reject != 0) return line + " | REJECT";
    if (!r.text.empty()) line += " | \"" + r.text + "\"";
    if (r.command != 0) line += " | CMD";
    return line;
}

std::string FormatFilterValue(const FilterRecord& r) {
    const auto digit = [](int value) { return static_cast<char>('0' + value); };
    std::string v;
    v += digit(static_cast<int>(r.type));
    v += ',';
    AppendQuoted(v, r.capcode);
    v += ',';
    v += digit(r.function);
    v += ',';
    AppendQuoted(v, r.label);
    v += ',';
    AppendQuoted(v, r.text);
    for (const int field : {r.command, r.baud, r.reject}) {
        v += ',';
        v += digit(field);
    }
    if (r.charset != 0 || !r.channel.empty()) {
        v += ',';
        v += digit(r.charset);
    }
    if (!r.channel.empty()) {
        v += ',';
        AppendQuoted(v, r.channel);
    }
    return v;
}

FilterRecord ParseFilterValue(std::string_view v) {
    FilterRecord r;
    if (!v.empty() && v[0] >= '1' && v[0] <= '5') r.type = static_cast<FilterType>(v[0] - '0');

    std::size_t p = v.find(',');
    if (p == kNone) return r;
    p = ReadQuoted(v, p, r.capcode, kFilterCapcodeMax);

    p = v.find(',', p);
    if (p == kNone) return r;
    r.function = static_cast<std::int8_t>(DigitAfter(v, p));
    p = v.find(',', p + 1);
    if (p == kNone) return r;
    p = ReadQuoted(v, p, r.label, kFilterLabelMax);

    p = v.find(',', p);
    if (p == kNone) return r;
    p = ReadQuoted(v, p, r.text, kFilterTextMax);

    for (std::int32_t* field : {&r.command, &r.baud, &r.reject, &r.charset}) {
        p = v.find(',', p);
        if (p == kNone) return r;
        *field = DigitAfter(v, p);
        ++p;
    }
    if (r.charset < 0 || r.charset > kNationalCharsetLast + 1) r.charset = 0;
    p = v.find(',', p);
    if (p != kNone) ReadQuoted(v, p, r.channel, kChannelNameMax);
    return r;
}

std::string MakeFilterOutputName(const Settings& settings, const std::string& dateBaseName) {
    return settings.FilterFileUseDate ? dateBaseName + ".FLT" : settings.FilterFile;
}

}  // namespace tolvane
