// "Tolvane Options": display and decoder switches, and how pages read:
// FLEX fragments joined, repeats folded, the national charset.
#pragma once

#include <array>

#include "app/desktop/dialogs/dialog_parts.h"

class QSpinBox;

namespace tolvane::desktop {

class OptionsDialog : public SettingsDialog {
public:
    OptionsDialog(DialogHost& host, QWidget* parent = nullptr);

    // In the order of the dialog: Confirm Exit, Timestamp, Show Frame, Show
    // Numeric/Tone, Show Miscellaneous, Filter Beep, POCSAG, FLEX, Golay,
    // Join FLEX Fragments.
    std::array<QCheckBox*, 10> boxes{};
    QSpinBox* repeatWindow = nullptr;  // seconds, 0 = off
    QComboBox* charset = nullptr;      // in NationalCharset order

protected:
    bool Apply(Settings& next) override;
};

}  // namespace tolvane::desktop
