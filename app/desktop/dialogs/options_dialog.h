// "Tolvane Options": display and decoder switches.
#pragma once

#include <array>

#include "app/desktop/dialogs/dialog_parts.h"

namespace tolvane::desktop {

class OptionsDialog : public SettingsDialog {
public:
    OptionsDialog(DialogHost& host, QWidget* parent = nullptr);

    // In the order of the dialog: Confirm Exit, Timestamp, Show Frame, Show
    // Numeric/Tone, Show Miscellaneous, Filter Beep, POCSAG, FLEX, Golay.
    std::array<QCheckBox*, 9> boxes{};

protected:
    bool Apply(Settings& next, unsigned& changes) override;
};

}  // namespace tolvane::desktop
