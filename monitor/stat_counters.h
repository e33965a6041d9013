// Message and character counts by protocol and speed, one set for the
// current hour and one for the current day. Every decoder count goes to both.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tolvane {

enum StatCategory : int {
    F6400 = 0,
    F3200 = 1,
    F1600 = 2,
    P2400 = 3,
    P1200 = 4,
    P512 = 5,
    GOLAY = 6,
};
inline constexpr int kStatCategoryCount = 7;
// Their names, in that order; the report files write them in capitals.
inline constexpr const char* kStatCategoryNames[kStatCategoryCount] = {
    "FLEX 6400", "FLEX 3200", "FLEX 1600", "POCSAG 2400", "POCSAG 1200", "POCSAG 512", "Golay (GSC)",
};

struct StatCounters {
    std::array<std::uint32_t, kStatCategoryCount> numericMsgs{};
    std::array<std::uint32_t, kStatCategoryCount> alphaMsgs{};
    std::array<std::uint32_t, kStatCategoryCount> numericChars{};
    std::array<std::uint32_t, kStatCategoryCount> alphaChars{};

    void Clear() { *this = StatCounters{}; }
    bool operator==(const StatCounters&) const = default;
};

// Told of every decoded page, shown or not (the keep-alive watch).
class TrafficListener {
public:
    virtual ~TrafficListener() = default;
    virtual void TrafficSeen() = 0;
};

// The hourly and daily sets, counted together. A receiver of one of
// several channels counts into its own set, which passes every count on to
// the station's (`total`).
class Statistics {
public:
    void CountNumericMessage(int category) {
        Add(&StatCounters::numericMsgs, category, 1);
        NoteTraffic();
    }
    void CountAlphaMessage(int category) {
        Add(&StatCounters::alphaMsgs, category, 1);
        NoteTraffic();
    }
    // For pages that are not counted as messages (binary, ReFLEX dumps).
    void NoteTraffic() {
        if (listener != nullptr) listener->TrafficSeen();
        if (total != nullptr) total->NoteTraffic();
    }
    void CountNumericChars(int category, std::uint32_t n = 1) { Add(&StatCounters::numericChars, category, n); }
    void CountAlphaChars(int category, std::uint32_t n = 1) { Add(&StatCounters::alphaChars, category, n); }

    StatCounters HourlyStats;
    StatCounters DailyStats;
    TrafficListener* listener = nullptr;
    Statistics* total = nullptr;

private:
    using Field = std::array<std::uint32_t, kStatCategoryCount> StatCounters::*;
    void Add(Field field, int category, std::uint32_t n) {
        if (category < 0 || category >= kStatCategoryCount) return;
        (HourlyStats.*field)[static_cast<std::size_t>(category)] += n;
        (DailyStats.*field)[static_cast<std::size_t>(category)] += n;
        if (total != nullptr) total->Add(field, category, n);
    }
};

}  // namespace tolvane
