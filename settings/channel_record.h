// Pager channels of an IQ band, each decoded by a receiver of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

enum class ChannelPolarity : std::int32_t {
    Auto = 0,      // from the sync words seen (AutoPolarity 1)
    Normal = 1,    // always the usual sense (AutoPolarity 0)
    Inverted = 2,  // always inverted (InvertData 1)
};
inline constexpr std::int32_t kChannelPolarityLast = 2;
inline constexpr std::size_t kChannelNameMax = 20;
inline constexpr std::int32_t kMaxChannels = 64;
// Frequencies above this are no radio channel any receiver tunes to.
inline constexpr double kChannelFrequencyMax = 1e11;

struct ChannelRecord {
    double FrequencyHz = 0;
    std::string Name;         // at most kChannelNameMax characters; shown in front of its lines
    std::int32_t Levels = 2;  // 2 or 4
    ChannelPolarity Polarity = ChannelPolarity::Auto;

    bool operator==(const ChannelRecord&) const = default;
};

// The INI value of a channel: FREQUENCY_HZ,"NAME",LEVELS,POLARITY, e.g.
// 929612500,"NYC1",4,0 (polarity 0 auto, 1 normal, 2 inverted; the name
// quoted as filter texts are).
std::string FormatChannelValue(const ChannelRecord& channel);
// Reads a value; nothing when it has no frequency (above 0 Hz). A levels or
// polarity field that is not one of its values keeps the default (2, auto)
// and adds a line to `problems`.
std::optional<ChannelRecord> ParseChannelValue(std::string_view value, std::string& problems);

// How a channel is called on its lines and in messages: its name, or its
// number (1 up) when it has none.
std::string ChannelLabel(const ChannelRecord& channel, std::size_t index);

}  // namespace tolvane
