// What the setup, filter and monitor dialogs need from the main window, and
// one entry point per menu command.
#pragma once

#include "monitor/stat_counters.h"
#include "settings/settings.h"

class QWidget;

namespace tolvane::desktop {

enum class SettingsChange : unsigned {
    Files = 1,
    Decoders = 2,
    Input = 4,
    Levels = 8,
    Scrollback = 16,
    Filters = 32,
    Statistics = 64,
    KeepAlive = 128,
    Machine = 256,  // receiver name and broker: the publisher is made again
};

constexpr unsigned operator|(SettingsChange a, SettingsChange b) {
    return static_cast<unsigned>(a) | static_cast<unsigned>(b);
}
constexpr unsigned operator|(unsigned a, SettingsChange b) { return a | static_cast<unsigned>(b); }

// What the dialogs need from the main window; the desktop program implements it over its Engine.
class DialogHost {
public:
    virtual ~DialogHost() = default;
    virtual Settings& CurrentSettings() = 0;             // the engine's live record; dialogs edit it on OK only
    virtual bool SaveSettingsFile() = 0;                 // SaveSettings to the INI file in use
    virtual void SettingsChanged(unsigned changes) = 0;  // OR of SettingsChange: the engine applies them (files reopened, locks cleared, grids re-made, input re-attached, keep-alive table rebuilt)
    virtual const Statistics& CurrentStatistics() = 0;   // counters shown by the Statistics dialog (type from monitor/)

    // Added beside the members above: the dialogs edit a copy of the record
    // and hand it over here, so that a host whose engine compares the new
    // record with the old one (Engine::ApplySettings) can. By default the
    // copy becomes the live record and the changes (maybe none) are reported.
    virtual void ApplySettings(const Settings& next, unsigned changes) {
        CurrentSettings() = next;
        SettingsChanged(changes);
    }
};

// One entry point per menu command; modal; true when closed with OK.
bool ShowLogfileDialog(QWidget* parent, DialogHost& host);
bool ShowInterfaceDialog(QWidget* parent, DialogHost& host);
bool ShowOptionsDialog(QWidget* parent, DialogHost& host);
bool ShowScrollbackDialog(QWidget* parent, DialogHost& host);
bool ShowFiltersDialog(QWidget* parent, DialogHost& host);
bool ShowStatisticsDialog(QWidget* parent, DialogHost& host);
bool ShowKeepAliveDialog(QWidget* parent, DialogHost& host);
bool ShowMqttDialog(QWidget* parent, DialogHost& host);

}  // namespace tolvane::desktop
