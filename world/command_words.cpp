#include "world/command_words.h"

namespace tolvane {

std::vector<std::string> SplitCommandWords(std::string_view t) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    std::size_t i = 0;
    while (i < t.size()) {
        const char c = t[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t close = t.find('\'', i + 1);
            const std::size_t end = close == std::string_view::npos ? t.size() : close;
            word.append(t.substr(i + 1, end - i - 1));
            i = end == t.size() ? end : end + 1;
        } else if (c == '"') {
            ++i;
            while (i < t.size() && t[i] != '"') {
                if (t[i] == '\\' && i + 1 < t.size() && (t[i + 1] == '"' || t[i + 1] == '\\')) ++i;
                word += t[i++];
            }
            if (i < t.size()) ++i;  // the closing quote
        } else if (c == '\\' && i + 1 < t.size()) {
            word += t[i + 1];
            i += 2;
        } else {
            word += c;
            ++i;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

}  // namespace tolvane
