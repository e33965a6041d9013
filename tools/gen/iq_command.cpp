#include "tools/gen/iq_command.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>

#include "receiver/iq/iq_select.h"

namespace tolvane::gen {

namespace {

bool ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end != text.c_str() && *end == '\0' && std::isfinite(value);
}

}  // namespace

int ParseIqArgument(int argc, char** argv, int& i, IqRequest& request, std::string& error) {
    const std::string arg = argv[i];
    if (arg != "--center" && arg != "--iq-format" && arg != "--cnr" && arg != "--ppm" && arg != "--neighbour")
        return 0;
    if (i + 1 >= argc) {
        error = arg + " needs a value";
        return -1;
    }
    const std::string value = argv[++i];
    double number = 0;
    if (arg == "--center") {
        if (!ParseFrequency(value, request.options.centreHz)) {
            error = "--center needs a frequency (Hz, or with k, M)";
            return -1;
        }
    } else if (arg == "--iq-format") {
        request.format = ParseIqFormat(value);
        if (!request.format) {
            error = "--iq-format needs cu8, cs8, cs16, cf32 or wav";
            return -1;
        }
    } else if (arg == "--cnr") {
        if (!ParseNumber(value, number)) {
            error = "--cnr needs a number of dB";
            return -1;
        }
        request.options.cnrDb = number;
    } else if (arg == "--ppm") {
        if (!ParseNumber(value, number) || std::fabs(number) > 1000) {
            error = "--ppm needs -1000..1000";
            return -1;
        }
        request.options.ppm = number;
    } else {
        const std::size_t colon = value.find(':');
        IqNeighbour neighbour;
        if (colon == std::string::npos || !ParseFrequency(value.substr(0, colon), neighbour.frequencyHz) ||
            !ParseNumber(value.substr(colon + 1), neighbour.levelDb)) {
            error = "--neighbour needs FREQ:DB, e.g. 929.6375M:30";
            return -1;
        }
        request.options.neighbours.push_back(neighbour);
    }
    return 1;
}

bool SplitPageFrequency(const std::string& argument, std::optional<double>& frequency, std::string& page,
                        std::string& error) {
    const std::size_t at = argument.find('@');
    frequency.reset();
    page = argument;
    if (at == std::string::npos || at > argument.find(':')) return true;
    double hz = 0;
    if (!ParseFrequency(argument.substr(0, at), hz)) {
        error = "'" + argument.substr(0, at) + "' before @ is not a frequency (Hz, or with k, M)";
        return false;
    }
    frequency = hz;
    page = argument.substr(at + 1);
    return true;
}

bool WantsIq(const std::string& outPath, const IqRequest& request) {
    if (request.format) return true;
    const std::optional<IqFormat> format = IqFormatForPath(outPath);
    return format && *format != IqFormat::Wav;
}

bool WriteIqPages(const std::string& outPath, const std::vector<PageDescription>& pages, const EncodeOptions& encode,
                  double gapSeconds, double rateError, IqRequest request, std::string& error) {
    request.options.format = request.format ? *request.format : IqFormatForPath(outPath).value_or(IqFormat::CU8);
    request.options.rateError = rateError;
    if (!request.sampleRateGiven) request.options.sampleRate = 2400000;
    if (request.options.centreHz <= 0) {
        for (const std::optional<double>& given : request.pageFrequencies) {
            if (given) {
                request.options.centreHz = *given;
                break;
            }
        }
    }
    if (request.options.centreHz <= 0) {
        error = "IQ output needs --center or a channel frequency on a page (FREQ@PAGE)";
        return false;
    }
    // Pages by channel, in the order the channels first appear.
    std::vector<double> order;
    std::map<double, std::vector<PageDescription>> byChannel;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::optional<double> given = i < request.pageFrequencies.size() ? request.pageFrequencies[i] : std::nullopt;
        const double frequency = given.value_or(request.options.centreHz);
        if (!byChannel.count(frequency)) order.push_back(frequency);
        byChannel[frequency].push_back(pages[i]);
    }
    const double halfBand = request.options.sampleRate / 2;
    std::vector<IqCarrier> carriers;
    for (double frequency : order) {
        if (std::fabs(frequency - request.options.centreHz) > halfBand * 0.9) {
            error = "a channel at " + std::to_string(static_cast<long long>(frequency)) +
                    " Hz lies outside the recorded band";
            return false;
        }
        IqCarrier carrier;
        carrier.frequencyHz = frequency;
        if (!BuildCarrier(byChannel[frequency], encode, gapSeconds, carrier, error)) return false;
        carriers.push_back(std::move(carrier));
    }
    return WriteIqFile(outPath, carriers, request.options, error);
}

}  // namespace tolvane::gen
