#include "app/cli/iq_arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "receiver/iq/iq_format.h"
#include "receiver/iq/iq_select.h"

namespace tolvane {

int ParseIqArgument(int argc, char** argv, int& i, IqArguments& given, std::string& error) {
    const std::string arg = argv[i];
    if (arg != "--channel" && arg != "--sample-rate" && arg != "--center" && arg != "--ppm" && arg != "--gain" &&
        arg != "--iq-format")
        return 0;
    if (i + 1 >= argc) {
        error = arg + " needs a value (see --help)";
        return -1;
    }
    const std::string value = argv[++i];
    if (arg == "--channel") {
        ChannelRecord channel;
        if (!ParseChannelPlan(value, channel, error)) return -1;
        if (given.channels.size() == static_cast<std::size_t>(kMaxChannels)) {
            error = "at most " + std::to_string(kMaxChannels) + " --channel";
            return -1;
        }
        given.channels.push_back(channel);
        return 1;
    }
    if (arg == "--iq-format") {
        if (!ParseIqFormat(value)) {
            error = "--iq-format needs cu8, cs8, cs16, cf32 or wav";
            return -1;
        }
        given.format = value;
        return 1;
    }
    if (arg == "--sample-rate" || arg == "--center") {
        double hz = 0;
        if (!ParseFrequency(value, hz)) {
            error = arg + " needs a frequency in Hz (or with k, M)";
            return -1;
        }
        (arg == "--center" ? given.centreHz : given.sampleRate) = hz;
        return 1;
    }
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(value.c_str(), &end);
    const bool ok = errno == 0 && end != value.c_str() && *end == '\0' && std::isfinite(number);
    if (arg == "--ppm") {
        if (!ok || std::fabs(number) > 1000) {
            error = "--ppm needs a number of parts per million (-1000..1000)";
            return -1;
        }
        given.ppm = number;
    } else {
        if (!ok || number < 0 || number > 100) {
            error = "--gain needs 0..100 dB";
            return -1;
        }
        given.gainDb = number;
    }
    return 1;
}

void ApplyIqArguments(const IqArguments& given, IqBand& band) {
    if (given.sampleRate) band.SampleRate = *given.sampleRate;
    if (given.centreHz) band.CenterHz = *given.centreHz;
    if (given.ppm) band.Ppm = *given.ppm;
    if (given.gainDb) band.GainDb = *given.gainDb;
    if (given.format) band.Format = *given.format;
    if (!given.channels.empty()) band.Channels = given.channels;
}

}  // namespace tolvane
