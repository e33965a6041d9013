// The "off the air" watch. For each hour of the day the user may choose a
// watch period; when a period passes without any decoded page, an alarm is
// raised: the optional command file starts, the message is shown and the
// alarm sound repeats once a second until the alarm is acknowledged. Every
// decoded page, an acknowledgement and a change to a different period at an
// hour change start the period again.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string_view>

#include "world/outside_world.h"
#include "monitor/stat_counters.h"
#include "monitor/stat_reports.h"

namespace tolvane {

struct Settings;

// Watch period in minutes by timeout index (index 0 = "Disabled").
inline constexpr std::array<std::int32_t, 14> KeepAliveMinutes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 20, 30};
inline constexpr const char* kOffTheAirText = "Keep Alive - OFF THE AIR!";
inline constexpr const char* kAlarmSoundFile = "ALARM.WAV";
// Ticks of 100 ms between deadline tests and between alarm sounds.
inline constexpr int kKeepAliveTicks = 10;

using KeepAliveTable = std::array<std::int32_t, 24>;

// Told of every alarm as it is raised, with its text (the engine makes a
// record of it for machines).
class AlarmListener {
public:
    virtual ~AlarmListener() = default;
    virtual void AlarmRaised(std::string_view text) = 0;
};

// Minutes of watch for each hour 0..23 (0 = not watched) from the three
// ranges; a later range wins where ranges overlap. Values a hand-edited
// settings file may hold outside the lists count as "Disabled": a start or
// stop outside 0..24 skips its range, a timeout index outside 0..13 watches
// nothing in it.
KeepAliveTable BuildKeepAliveTable(const Settings& settings);

class KeepAlive : public TrafficListener, public HourChangeListener {
public:
    KeepAlive(const Settings& settings, const WallClock& clock, SoundPlayer& sound, CommandLauncher& commands,
              MessageSink& messages);

    // At engine creation: the hour table, the current hour, the countdown,
    // the deadline for this hour; no alarm.
    void Start();

    // Every 100 ms timer tick: the deadline test once a second, and while
    // the alarm is on the alarm sound once a second.
    void KeepAliveTimerTick();

    // The user has seen the alarm: it stops and a new period starts now.
    // Does nothing when no alarm is on.
    void AcknowledgeAlarm();

    // After the keep-alive settings were confirmed: rebuilds the table,
    // re-arms for the current hour and silences a sounding alarm.
    void Reconfigure();

    // For clients without a user to acknowledge (the command-line decoder):
    // every alarm is acknowledged as soon as it has been reported, so the
    // next period starts at once and no alarm sound repeats.
    void SetAutoAcknowledge(bool on) { autoAcknowledge_ = on; }

    // nullptr = none. The listener outlives the watch or is taken away first.
    void SetAlarmListener(AlarmListener* listener) { alarms_ = listener; }

    // Called by the statistics clock check with the new hour.
    void HourChanged(int newHour) override;
    // Any decoded page restarts the watch period of the current hour.
    void TrafficSeen() override;

    // Deadline = now + the current hour's period, or 0 (not armed).
    void ArmKeepAlive();

    std::time_t Deadline() const { return deadline_; }
    bool AlarmOn() const { return alarm_; }
    int CurrentHour() const { return currentHour_; }
    const KeepAliveTable& HourTimeouts() const { return table_; }

private:
    void KeepAliveExpired();

    const Settings& settings_;
    const WallClock& clock_;
    SoundPlayer& sound_;
    CommandLauncher& commands_;
    MessageSink& messages_;

    KeepAliveTable table_{};
    int currentHour_ = 0;
    std::time_t deadline_ = 0;
    int keepAliveTick_ = kKeepAliveTicks;
    bool alarm_ = false;
    int alarmTick_ = kKeepAliveTicks;
    bool autoAcknowledge_ = false;
    AlarmListener* alarms_ = nullptr;
};

}  // namespace tolvane
