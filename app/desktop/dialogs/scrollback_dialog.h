// "Tolvane Scrollback": the row counts of the two panes.
#pragma once

#include "app/desktop/dialogs/dialog_parts.h"

namespace tolvane::desktop {

class ScrollbackDialog : public SettingsDialog {
public:
    ScrollbackDialog(DialogHost& host, QWidget* parent = nullptr);

    QLineEdit* filterRows;
    QLineEdit* messageRows;

protected:
    bool Apply(Settings& next) override;
};

}  // namespace tolvane::desktop
