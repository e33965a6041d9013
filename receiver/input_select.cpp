#include "receiver/input_select.h"

#include "receiver/edge_file.h"

namespace tolvane {

std::unique_ptr<EdgeSource> SelectInput(const std::string& input, const InputOptions& options, const Settings&,
                                        std::string& error) {
    if (input.empty()) {
        error = "no input given";
        return nullptr;
    }
    return std::make_unique<EdgeFileSource>(input, options.paced);
}

bool IsLiveInput(const std::string& input) {
    return input.rfind("serial:", 0) == 0 || input.rfind("audio:", 0) == 0;
}

}  // namespace tolvane
