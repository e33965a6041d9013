#include "settings/channel_record.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "settings/ini_file.h"
#include "settings/quoted_text.h"
#include "settings/settings.h"

namespace tolvane {

std::string FormatChannelValue(const ChannelRecord& channel) {
    char frequency[32];
    std::snprintf(frequency, sizeof frequency, "%.15g", channel.FrequencyHz);
    std::string v = frequency;
    v += ',';
    AppendQuoted(v, channel.Name);
    v += ',' + std::to_string(channel.Levels) + ',' + std::to_string(static_cast<int>(channel.Polarity));
    return v;
}

std::optional<ChannelRecord> ParseChannelValue(std::string_view value, std::string& problems) {
    ChannelRecord channel;
    const std::string text(value);
    char* end = nullptr;
    errno = 0;
    channel.FrequencyHz = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || (*end != '\0' && *end != ',') || !std::isfinite(channel.FrequencyHz) ||
        channel.FrequencyHz <= 0 || channel.FrequencyHz >= kChannelFrequencyMax)
        return std::nullopt;
    std::size_t p = static_cast<std::size_t>(end - text.c_str());
    if (p >= value.size()) return channel;
    p = ReadQuoted(value, p, channel.Name, kChannelNameMax);
    // The numbers after the name: levels, then polarity.
    const auto numberAfter = [&](std::size_t& at) -> std::optional<std::int32_t> {
        at = value.find(',', at);
        if (at == std::string_view::npos) return std::nullopt;
        ++at;
        return LeadingInt(value.substr(at));
    };
    if (const auto levels = numberAfter(p)) {
        if (*levels == 2 || *levels == 4) {
            channel.Levels = *levels;
        } else {
            problems += "levels " + std::to_string(*levels) + " is not 2 or 4; 2 kept";
        }
    }
    if (p == std::string_view::npos) return channel;
    if (const auto polarity = numberAfter(p)) {
        if (*polarity >= 0 && *polarity <= kChannelPolarityLast) {
            channel.Polarity = static_cast<ChannelPolarity>(*polarity);
        } else {
            if (!problems.empty()) problems += ", ";
            problems += "polarity " + std::to_string(*polarity) + " is out of range (0 to 2); 0 kept";
        }
    }
    return channel;
}

std::string ChannelLabel(const ChannelRecord& channel, std::size_t index) {
    return channel.Name.empty() ? std::to_string(index + 1) : channel.Name;
}

Settings ChannelSettings(const Settings& station, const ChannelRecord& channel) {
    Settings s = station;
    s.FourLevelInterface = channel.Levels == 4 ? 1 : 0;
    s.InvertData = channel.Polarity == ChannelPolarity::Inverted ? 1 : 0;
    s.AutoPolarity = channel.Polarity == ChannelPolarity::Auto ? 1 : 0;
    return s;
}

}  // namespace tolvane
