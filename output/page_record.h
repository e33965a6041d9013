// Pages for machines: what a decoder knows about a page beyond its text,
// the record built from a completed page line and its JSON form, which a
// RecordSink (see outside_world.h) carries to JSON lines or a broker.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "world/outside_world.h"

namespace tolvane {

enum class PageProtocol : std::uint8_t { Pocsag, Flex, Reflex, Gsc };
enum class PageType : std::uint8_t { Alpha, Numeric, Tone, Binary, Secure, Raw };

// Told by a decoder next to its capcode field. Plain data: describing a page
// costs nothing per character.
struct PageFacts {
    PageProtocol protocol = PageProtocol::Pocsag;
    const char* rate = "";  // static text: "1200", "1600/2", "600"
    int function = -1;      // POCSAG 0..3, GSC 1..4; -1 = none
    char phase = 0;         // FLEX 'A'..'D'; 0 = none
    PageType type = PageType::Alpha;
    bool incomplete = false;  // FLEX fragments whose rest never came
};

// One completed page line, as the panes and filters saw it.
struct PageRecord {
    std::int64_t timeMs = 0;  // milliseconds since 1970
    int utcOffsetMinutes = 0;
    std::string_view receiver;
    // The channel of an IQ input (its name, or number) and its frequency;
    // 0 Hz: not received from an IQ band (the JSON then has neither).
    std::string_view channel;
    double frequencyHz = 0;
    PageFacts facts;
    std::string_view capcode;  // as shown; empty when the line has none
    std::string_view message;  // from the message mark to the end
    bool errors = false;       // a character was shown in the bit-error colour
    bool truncated = false;    // the line was cut (see Output); the JSON then says so
    std::optional<std::string_view> filter;  // the matching filter's label
    std::string_view line;
};

// 2026-12-06T13:45:01.250+01:00
std::string IsoTime(std::int64_t timeMs, int utcOffsetMinutes);

// One JSON object on one line (no newline); "channel" and "frequency" (Hz)
// follow "receiver" for the pages of an IQ channel; "truncated": true is added
// only to the record of a cut line. Received bytes are taken as
// Latin-1, and everything outside printable ASCII is written as \u00XX, so
// the text is valid UTF-8 and JSON whatever came from the air.
std::string PageRecordJson(const PageRecord& record);
std::string AlarmRecordJson(std::int64_t timeMs, int utcOffsetMinutes, std::string_view receiver,
                            std::string_view alarm);

}  // namespace tolvane
