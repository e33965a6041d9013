#include "monitor/keep_alive.h"

#include "settings/settings.h"
#include "world/command_words.h"

namespace tolvane {

namespace {

constexpr int kHours = 24;

int BoundedHour(int hour) { return hour >= 0 && hour < kHours ? hour : 0; }

}  // namespace

KeepAliveTable BuildKeepAliveTable(const Settings& settings) {
    KeepAliveTable table{};
    for (std::size_t r = 0; r < settings.KeepAliveStart.size(); ++r) {
        const std::int32_t start = settings.KeepAliveStart[r];
        const std::int32_t stop = settings.KeepAliveStop[r];
        if (start < 1 || start > kHours || stop < 1 || stop > kHours) continue;
        const std::int32_t index = settings.KeepAliveTimeout[r];
        const std::int32_t minutes =
            index >= 0 && index < static_cast<std::int32_t>(KeepAliveMinutes.size())
                ? KeepAliveMinutes[static_cast<std::size_t>(index)]
                : 0;
        // Start and stop are 1-based hours; the range wraps past midnight and
        // includes its stop hour.
        for (std::int32_t h = start;; h = h % kHours + 1) {
            table[static_cast<std::size_t>(h - 1)] = minutes;
            if (h == stop) break;
        }
    }
    return table;
}

KeepAlive::KeepAlive(const Settings& settings, const WallClock& clock, SoundPlayer& sound, CommandLauncher& commands,
                     MessageSink& messages)
    : settings_(settings), clock_(clock), sound_(sound), commands_(commands), messages_(messages) {}

void KeepAlive::Start() {
    table_ = BuildKeepAliveTable(settings_);
    currentHour_ = BoundedHour(clock_.Local().hour);
    keepAliveTick_ = kKeepAliveTicks;
    alarm_ = false;
    ArmKeepAlive();
}

void KeepAlive::ArmKeepAlive() {
    const std::int32_t minutes = table_[static_cast<std::size_t>(currentHour_)];
    deadline_ = minutes != 0 ? clock_.Now() + 60 * static_cast<std::time_t>(minutes) : 0;
}

void KeepAlive::KeepAliveTimerTick() {
    if (--keepAliveTick_ <= 0) {
        keepAliveTick_ = kKeepAliveTicks;
        if (deadline_ != 0 && clock_.Now() >= deadline_) {
            alarm_ = true;
            alarmTick_ = kKeepAliveTicks;
            deadline_ = 0;
            KeepAliveExpired();
        }
    }
    if (alarm_ && --alarmTick_ <= 0) {
        alarmTick_ = kKeepAliveTicks;
        if (!sound_.PlayFile(kAlarmSoundFile)) sound_.Beep();
    }
}

void KeepAlive::KeepAliveExpired() {
    // The arguments come from the user's own settings; they are split into
    // words here and handed to the program without a shell.
    if (settings_.KeepAliveCmdFileEnabled && !settings_.KeepAliveCmdFile.empty()) {
        commands_.Start(settings_.KeepAliveCmdFile, SplitCommandWords(settings_.KeepAliveCmdArgs));
    }
    messages_.ShowMessage(kOffTheAirText);
    if (alarms_ != nullptr) alarms_->AlarmRaised(kOffTheAirText);
    if (autoAcknowledge_) AcknowledgeAlarm();
}

void KeepAlive::AcknowledgeAlarm() {
    if (!alarm_) return;
    alarm_ = false;
    ArmKeepAlive();
}

void KeepAlive::Reconfigure() {
    table_ = BuildKeepAliveTable(settings_);
    alarm_ = false;
    ArmKeepAlive();
}

void KeepAlive::HourChanged(int newHour) {
    if (newHour < 0 || newHour >= kHours) return;
    const std::int32_t before = table_[static_cast<std::size_t>(currentHour_)];
    currentHour_ = newHour;
    // While an alarm waits for its acknowledgement no second one may start;
    // the acknowledgement arms for whatever hour it is then.
    if (alarm_) return;
    const std::int32_t after = table_[static_cast<std::size_t>(currentHour_)];
    if (after == 0) {
        deadline_ = 0;
    } else if (after != before) {
        deadline_ = clock_.Now() + 60 * static_cast<std::time_t>(after);
    }
    // The same period in the new hour: the running deadline stays.
}

void KeepAlive::TrafficSeen() {
    if (!alarm_) ArmKeepAlive();
}

}  // namespace tolvane
