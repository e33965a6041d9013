#include "settings/quoted_text.h"

namespace tolvane {

void AppendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

std::size_t ReadQuoted(std::string_view v, std::size_t comma, std::string& out, std::size_t limit) {
    out.clear();
    if (v.substr(comma + 1, 2) == "\"\"") return comma + 3;
    std::size_t p = comma + 2;  // past the opening quote
    std::size_t characters = 0;
    bool taking = true;
    while (p < v.size()) {
        char c = v[p];
        if (c == '"') return p + 1;
        if (c == '\\' && p + 1 < v.size() && (v[p + 1] == '"' || v[p + 1] == '\\')) c = v[++p];
        const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80 && !out.empty();
        if (!continuation) taking = characters++ < limit;
        if (taking && out.size() < 4 * limit) out += c;
        ++p;
    }
    return v.size();
}

}  // namespace tolvane
