#include "tools/gen/page_description.h"

#include <cstdlib>

namespace tolvane::gen {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseSmallInt(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    value = v;
    return true;
}

}  // namespace

bool UnescapeText(const std::string& in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (i + 1 < in.size() && in[i + 1] == '\\') {
            out += '\\';
            ++i;
            continue;
        }
        if (i + 3 < in.size() && in[i + 1] == 'x' && HexValue(in[i + 2]) >= 0 && HexValue(in[i + 3]) >= 0) {
            out += static_cast<char>(HexValue(in[i + 2]) * 16 + HexValue(in[i + 3]));
            i += 3;
            continue;
        }
        return false;
    }
    return true;
}

bool ParsePageKind(const std::string& name, PageKind& kind) {
    if (name == "numeric" || name == "num") {
        kind = PageKind::Numeric;
    } else if (name == "alpha" || name == "alphanumeric") {
        kind = PageKind::Alpha;
    } else if (name == "tone") {
        kind = PageKind::Tone;
    } else if (name == "binary" || name == "hex") {
        kind = PageKind::Binary;
    } else {
        return false;
    }
    return true;
}

const char* PageKindName(PageKind kind) {
    switch (kind) {
        case PageKind::Numeric: return "numeric";
        case PageKind::Alpha: return "alpha";
        case PageKind::Tone: return "tone";
        case PageKind::Binary: return "binary";
    }
    return "?";
}

bool ParsePageDescription(const std::string& description, PageDescription& page, std::string& error) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (fields.size() < 5) {
        const std::size_t colon = description.find(':', start);
        if (colon == std::string::npos) break;
        fields.push_back(description.substr(start, colon - start));
        start = colon + 1;
    }
    if (fields.size() < 5) {
        error = "page '" + description + "': expected PROTOCOL:RATE:CAPCODE:FUNCTION:KIND:TEXT";
        return false;
    }
    PageDescription p;
    p.protocol = fields[0];
    p.rate = fields[1];
    p.capcode = fields[2];
    if (!ParseSmallInt(fields[3], 0, 3, p.function)) {
        error = "page '" + description + "': function must be 0..3";
        return false;
    }
    if (!ParsePageKind(fields[4], p.kind)) {
        error = "page '" + description + "': unknown kind '" + fields[4] + "' (numeric, alpha, tone, binary)";
        return false;
    }
    if (!UnescapeText(description.substr(start), p.text)) {
        error = "page '" + description + "': bad escape in text (use \\\\ or \\xHH)";
        return false;
    }
    page = std::move(p);
    return true;
}

bool ParseIndexList(const std::string& text, std::vector<int>& out) {
    out.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        int value = 0;
        if (!ParseSmallInt(text.substr(start, comma - start), 0, 99999999, value)) return false;
        out.push_back(value);
        start = comma + 1;
    }
    return !out.empty();
}

}  // namespace tolvane::gen
