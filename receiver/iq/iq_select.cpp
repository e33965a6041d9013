#include "receiver/iq/iq_select.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "receiver/input_select.h"
#include "receiver/iq/sdr_input.h"
#include "settings/settings.h"

namespace tolvane {

bool ParseFrequency(const std::string& text, double& hz) {
    if (text.empty()) return false;
    double scale = 1;
    std::string number = text;
    const char last = text.back();
    if (last == 'k' || last == 'K') scale = 1e3;
    if (last == 'm' || last == 'M') scale = 1e6;
    if (last == 'g' || last == 'G') scale = 1e9;
    if (scale != 1) number.pop_back();
    if (number.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(number.c_str(), &end);
    if (errno != 0 || end == number.c_str() || *end != '\0' || !std::isfinite(value) || value <= 0) return false;
    hz = value * scale;
    return hz < 1e11;
}

bool ParseChannelPlan(const std::string& text, IqChannelPlan& plan, std::string& error) {
    const std::size_t first = text.find(':');
    const std::string frequency = text.substr(0, first);
    plan = IqChannelPlan();
    if (!ParseFrequency(frequency, plan.frequencyHz)) {
        error = "--channel " + text + ": '" + frequency + "' is not a frequency (Hz, or with k, M)";
        return false;
    }
    if (first == std::string::npos) return true;
    const std::size_t second = text.find(':', first + 1);
    plan.name = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (second == std::string::npos) return true;
    const std::string levels = text.substr(second + 1);
    if (levels != "2" && levels != "4") {
        error = "--channel " + text + ": LEVELS must be 2 or 4, not '" + levels + "'";
        return false;
    }
    plan.levels = levels == "4" ? 4 : 2;
    return true;
}

bool IsIqInput(const std::string& input, const IqInputOptions& options) {
    if (input.rfind("sdr:", 0) == 0) return true;
    if (!options.channels.empty() || options.format) return true;
    const std::optional<IqFormat> byName = IqFormatForPath(input);
    return byName && *byName != IqFormat::Wav;
}

std::unique_ptr<IqSource> SelectIqInput(const std::string& input, const IqInputOptions& options,
                                        const Settings& settings, std::string& error) {
    if (options.channels.empty()) {
        error = input + ": an IQ input needs a channel to decode (--channel FREQ[:NAME[:LEVELS]])";
        return nullptr;
    }
    IqSourceOptions source;
    source.sampleRate = options.sampleRate;
    source.centreHz = options.centreHz;
    source.ppm = options.ppm;
    source.channels = options.channels;
    Settings levels = settings;
    levels.FourLevelInterface = 0;
    source.twoLevel = SlicerOptionsFor(levels);
    levels.FourLevelInterface = 1;
    source.fourLevel = SlicerOptionsFor(levels);
    source.paced = options.paced;
    std::unique_ptr<IqInput> reader;
    if (input.rfind("sdr:", 0) == 0) {
        if (options.sampleRate <= 0 || options.centreHz <= 0) {
            error = input + ": a live receiver needs --sample-rate and --center";
            return nullptr;
        }
        SdrSettings sdr;
        sdr.arguments = input.substr(4);
        sdr.sampleRate = options.sampleRate;
        sdr.centreHz = options.centreHz;
        sdr.ppm = options.ppm;
        sdr.gainDb = options.gainDb;
        reader = std::make_unique<SdrInput>(sdr);
    } else {
        std::optional<IqFormat> format = options.format ? options.format : IqFormatForPath(input);
        if (!format) {
            error = input + ": cannot tell the IQ sample format from the name (use --iq-format cu8|cs8|cs16|cf32|wav)";
            return nullptr;
        }
        reader = std::make_unique<IqFileInput>(input, *format);
    }
    return std::make_unique<IqSource>(std::move(reader), std::move(source));
}

}  // namespace tolvane
