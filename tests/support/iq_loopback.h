// IQ recordings through an IQ source into a fresh engine, for the tests of
// the IQ inputs and the channel bank.
#pragma once

#include <string>
#include <vector>

#include "receiver/iq/iq_select.h"

namespace tolvane::testing {

struct IqDecoded {
    std::vector<std::string> lines;  // the message pane's lines
    std::string error;               // why the input could not be used, or failed at its end
};

// Decodes the first channel of `options` from `input` (levels as the
// channel says) to the end of the input.
IqDecoded DecodeIq(const std::string& input, const IqInputOptions& options);

}  // namespace tolvane::testing
