#include "output/filter_command.h"

namespace tolvane {

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
