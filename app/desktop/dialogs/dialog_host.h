// What the setup, filter and monitor dialogs need from the main window, and
// one entry point per menu command.
#pragma once

#include "monitor/stat_counters.h"
#include "settings/settings.h"

class QWidget;

namespace tolvane::desktop {

// What the dialogs need from the main window; the desktop program implements it over its Engine.
class DialogHost {
public:
    virtual ~DialogHost() = default;
    // The settings in effect; a dialog starts from them and never writes them.
    virtual const Settings& CurrentSettings() const = 0;
    // Makes `next` the settings in effect: the engine applies what differs
    // (files reopened, locks cleared, grids re-made, input re-attached,
    // keep-alive table rebuilt).
    virtual void ApplySettings(const Settings& next) = 0;
    virtual bool SaveSettingsFile() = 0;                // SaveSettings to the INI file in use
    virtual const Statistics& CurrentStatistics() = 0;  // counters shown by the Statistics dialog (type from monitor/)
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
