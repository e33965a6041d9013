// "Tolvane Logfile": the log of every message-pane line.
#pragma once

#include "app/desktop/dialogs/dialog_parts.h"

namespace tolvane::desktop {

class LogfileDialog : public SettingsDialog {
public:
    LogfileDialog(DialogHost& host, QWidget* parent = nullptr);

    QCheckBox* enabled;
    QLineEdit* file;
    QCheckBox* useDate;
    QCheckBox* flush;
    QComboBox* flushTime;

protected:
    bool Apply(Settings& next) override;

private:
    void UpdateEnabling();
};

}  // namespace tolvane::desktop
