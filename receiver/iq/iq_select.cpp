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
    return hz < kChannelFrequencyMax;
}

bool ParseChannelPlan(const std::string& text, ChannelRecord& channel, std::string& error) {
    const std::size_t first = text.find(':');
    const std::string frequency = text.substr(0, first);
    channel = ChannelRecord();
    if (!ParseFrequency(frequency, channel.FrequencyHz)) {
        error = "--channel " + text + ": '" + frequency + "' is not a frequency (Hz, or with k, M)";
        return false;
    }
    if (first == std::string::npos) return true;
    const std::size_t second = text.find(':', first + 1);
    channel.Name = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (channel.Name.size() > kChannelNameMax) {
        error = "--channel " + text + ": a NAME has at most " + std::to_string(kChannelNameMax) + " characters";
        return false;
    }
    if (second == std::string::npos) return true;
    const std::string levels = text.substr(second + 1);
    if (levels != "2" && levels != "4") {
        error = "--channel " + text + ": LEVELS must be 2 or 4, not '" + levels + "'";
        return false;
    }
    channel.Levels = levels == "4" ? 4 : 2;
    return true;
}

bool IsIqInput(const std::string& input, const IqBand& band) {
    if (input.rfind("sdr:", 0) == 0) return true;
    if (input.rfind("audio:", 0) == 0 || input.rfind("serial:", 0) == 0) return false;
    if (!band.Channels.empty() || !band.Format.empty()) return true;
    const std::optional<IqFormat> byName = IqFormatForPath(input);
    return byName && *byName != IqFormat::Wav;
}

std::unique_ptr<IqSource> SelectIqInput(const std::string& input, const Settings& settings, bool paced,
                                        std::string& error) {
    const IqBand& band = settings.Iq;
    if (band.Channels.empty()) {
        error = input + ": an IQ input needs a channel to decode (--channel FREQ[:NAME[:LEVELS]])";
        return nullptr;
    }
    IqSourceOptions source;
    source.sampleRate = band.SampleRate;
    source.centreHz = band.CenterHz;
    source.ppm = band.Ppm;
    for (const ChannelRecord& channel : band.Channels) {
        source.channels.push_back({channel.FrequencyHz, channel.Name, channel.Levels});
    }
    Settings levels = settings;
    levels.FourLevelInterface = 0;
    source.twoLevel = SlicerOptionsFor(levels);
    levels.FourLevelInterface = 1;
    source.fourLevel = SlicerOptionsFor(levels);
    source.paced = paced;
    std::unique_ptr<IqInput> reader;
    if (input.rfind("sdr:", 0) == 0) {
        if (band.SampleRate <= 0 || band.CenterHz <= 0) {
            error = input + ": a live receiver needs --sample-rate and --center";
            return nullptr;
        }
        SdrSettings sdr;
        sdr.arguments = input.substr(4);
        sdr.sampleRate = band.SampleRate;
        sdr.centreHz = band.CenterHz;
        sdr.ppm = band.Ppm;
        sdr.gainDb = band.GainDb;
        reader = std::make_unique<SdrInput>(sdr);
    } else {
        std::optional<IqFormat> format = band.Format.empty() ? IqFormatForPath(input) : ParseIqFormat(band.Format);
        if (!format) {
            error = band.Format.empty()
                        ? input + ": cannot tell the IQ sample format from the name (use --iq-format cu8|cs8|cs16|cf32|wav)"
                        : input + ": '" + band.Format + "' is no IQ format (cu8, cs8, cs16, cf32 or wav)";
            return nullptr;
        }
        reader = std::make_unique<IqFileInput>(input, *format);
    }
    return std::make_unique<IqSource>(std::move(reader), std::move(source));
}

}  // namespace tolvane
