// tolvane-gen's IQ options and its IQ output: the pages grouped by channel
// frequency ("FREQ@PAGE"), one carrier per channel.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/gen/iq_writer.h"
#include "tools/gen/page_description.h"

namespace tolvane::gen {

inline constexpr const char kIqHelp[] =
    "IQ: when OUT ends in .cu8, .cs8, .cs16 or .cf32, or --iq-format is given, the\n"
    "pages are written as an IQ recording, as an SDR receiver would record them.\n"
    "A page may name its channel: FREQ@PAGE, e.g. 929.6125M@flex:6400:...; pages\n"
    "without one go out on the centre frequency. Every channel's transmissions\n"
    "start together, FM at the on-air deviation (4.8 kHz; 4-level FLEX 4.8 and\n"
    "1.6 kHz). --rate-error applies; --levels, --invert and --jitter do not.\n"
    "  --center HZ          the receiver's centre frequency (k, M allowed; default:\n"
    "                       the first channel's)\n"
    "  --sample-rate HZ     IQ sample rate (default 2400000)\n"
    "  --iq-format F        cu8, cs8, cs16, cf32 or wav (two-channel WAV IQ)\n"
    "  --cnr DB             white noise: carrier-to-noise ratio in 25 kHz\n"
    "  --ppm N              frequency error of the receiver in parts per million\n"
    "  --neighbour FREQ:DB  a carrier DB stronger than the channels, modulated with\n"
    "                       random 1200 bit/s data for the whole recording (repeatable)\n";

struct IqRequest {
    std::optional<IqFormat> format;
    IqOptions options;
    bool sampleRateGiven = false;
    std::vector<std::optional<double>> pageFrequencies;  // one per page
};

// Handles one IQ option at argv[i] (advancing i past its value). 1 when
// handled, 0 when not an IQ option, -1 on a bad value (`error` set).
int ParseIqArgument(int argc, char** argv, int& i, IqRequest& request, std::string& error);

// Splits "FREQ@PAGE": the frequency if there is one, and the page text.
bool SplitPageFrequency(const std::string& argument, std::optional<double>& frequency, std::string& page,
                        std::string& error);

// True when the output is to be IQ.
bool WantsIq(const std::string& outPath, const IqRequest& request);

// Builds one carrier per channel and writes the recording.
bool WriteIqPages(const std::string& outPath, const std::vector<PageDescription>& pages, const EncodeOptions& encode,
                  double gapSeconds, double rateError, IqRequest request, std::string& error);

}  // namespace tolvane::gen
