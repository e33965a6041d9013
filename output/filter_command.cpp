#include "output/filter_command.h"

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

std::string SubstituteFilterFields(std::string_view word, std::string_view capcode, std::string_view label,
                                   std::string_view message) {
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 1 < word.size()) {
            switch (word[i + 1]) {
                case 'c':
                case 'C': out.append(capcode); ++i; continue;
                case 'l':
                case 'L': out.append(label); ++i; continue;
                case 'm':
                case 'M': out.append(message); ++i; continue;
                default: break;
            }
        }
        out += word[i];
    }
    return out;
}

std::vector<std::string> BuildFilterCommandArgs(std::string_view program, std::string_view commandTemplate,
                                                std::string_view capcode, std::string_view label,
                                                std::string_view message) {
    std::vector<std::string> args;
    for (const std::string& word : SplitCommandWords(commandTemplate)) {
        args.push_back(SubstituteFilterFields(word, capcode, label, message));
    }
    std::size_t joined = 0;
    for (std::size_t i = 0; i < args.size(); ++i) joined += args[i].size() + (i > 0 ? 1 : 0);
    if (program.size() + 1 + joined <= kCommandLineMax) return args;

    // Room for the arguments, separators included.
    const std::size_t budget = program.size() + 1 < kCommandLineMax ? kCommandLineMax - 1 - program.size() : 0;
    std::size_t used = 0;
    std::size_t kept = 0;
    for (; kept < args.size(); ++kept) {
        const std::size_t separator = kept > 0 ? 1 : 0;
        if (used + separator + args[kept].size() <= budget) {
            used += separator + args[kept].size();
            continue;
        }
        if (used + separator < budget) {
            args[kept].resize(budget - used - separator);
            ++kept;
        }
        break;
    }
    args.resize(kept);
    return args;
}

}  // namespace tolvane
