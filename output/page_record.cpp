#include "output/page_record.h"

#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "output/charset.h"

namespace tolvane {

namespace {

using json = nlohmann::ordered_json;  // fields in the order written

constexpr const char* kProtocolNames[] = {"POCSAG", "FLEX", "REFLEX", "GSC"};
constexpr const char* kTypeNames[] = {"alpha", "numeric", "tone", "binary", "secure", "raw"};

// ASCII-only JSON: the library writes control characters, DEL and
// everything beyond ASCII as \uXXXX.
std::string Dump(const json& object) { return object.dump(-1, ' ', true); }

}  // namespace

std::string IsoTime(std::int64_t timeMs, int utcOffsetMinutes) {
    using namespace std::chrono;
    const std::int64_t localMs = timeMs + std::int64_t{utcOffsetMinutes} * 60'000;
    const sys_days day = floor<days>(sys_time<milliseconds>(milliseconds(localMs)));
    const year_month_day date(day);
    const std::int64_t inDay = localMs - duration_cast<milliseconds>(day.time_since_epoch()).count();
    const int offset = std::abs(utcOffsetMinutes);
    char text[96];  // room for any int the format may be given
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(inDay / 3'600'000), static_cast<int>(inDay / 60'000 % 60),
                  static_cast<int>(inDay / 1000 % 60), static_cast<int>(inDay % 1000), utcOffsetMinutes < 0 ? '-' : '+',
                  offset / 60, offset % 60);
    return text;
}

std::string PageRecordJson(const PageRecord& r) {
    json object;
    object["time"] = IsoTime(r.timeMs, r.utcOffsetMinutes);
    object["receiver"] = Latin1ToUtf8(TypedToLatin1(r.receiver));
    if (r.frequencyHz > 0) {
        object["channel"] = Latin1ToUtf8(TypedToLatin1(r.channel));
        object["frequency"] = std::llround(r.frequencyHz);
    }
    object["protocol"] = kProtocolNames[static_cast<int>(r.facts.protocol)];
    object["rate"] = r.facts.rate;
    object["capcode"] = r.capcode.empty() ? json(nullptr) : json(Latin1ToUtf8(r.capcode));
    object["function"] = r.facts.function < 0 ? json(nullptr) : json(r.facts.function);
    object["phase"] = r.facts.phase == 0 ? json(nullptr) : json(std::string(1, r.facts.phase));
    object["type"] = kTypeNames[static_cast<int>(r.facts.type)];
    object["message"] = Latin1ToUtf8(r.message);
    object["errors"] = r.errors;
    object["filter"] = r.filter ? json(Latin1ToUtf8(TypedToLatin1(*r.filter))) : json(nullptr);
    object["line"] = Latin1ToUtf8(r.line);
    if (r.truncated) object["truncated"] = true;
    // Only when set, so that the records of whole pages stay as they were.
    if (r.facts.incomplete) object["incomplete"] = true;
    return Dump(object);
}

std::string AlarmRecordJson(std::int64_t timeMs, int utcOffsetMinutes, std::string_view receiver,
                            std::string_view alarm) {
    json object;
    object["time"] = IsoTime(timeMs, utcOffsetMinutes);
    object["receiver"] = Latin1ToUtf8(TypedToLatin1(receiver));
    object["alarm"] = Latin1ToUtf8(alarm);
    return Dump(object);
}

}  // namespace tolvane
