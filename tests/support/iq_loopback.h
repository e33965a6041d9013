// IQ recordings through an IQ source into a fresh engine, for the tests of
// the IQ inputs and the channel bank.
#pragma once

#include <string>
#include <vector>

#include "receiver/iq/iq_select.h"
#include "tools/gen/iq_writer.h"

namespace tolvane::testing {

struct IqDecoded {
    std::vector<std::string> lines;  // the message pane's lines
    std::vector<std::string> filtered;  // the filter pane's
    std::vector<std::string> records;   // the page records (JSON)
    std::string error;               // why the input could not be used, or failed at its end
};

// Decodes every channel of `band` from `input` (each with its levels) to
// the end of the input, through the whole station; `filters` as the
// settings' filter table.
IqDecoded DecodeIq(const std::string& input, const IqBand& band, const std::vector<FilterRecord>& filters = {});

// A carrier at `frequencyHz` with the pages of `descriptions`, 0.3 s apart
// (one it refuses fails the test), and the lines its pages give as clean
// edges read with `levels` levels.
gen::IqCarrier Carrier(const std::vector<std::string>& descriptions, double frequencyHz);
std::vector<std::string> CleanLines(const gen::IqCarrier& carrier, int levels = 2);

}  // namespace tolvane::testing
