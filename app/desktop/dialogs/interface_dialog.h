// "Tolvane Interface": where the signal comes from. The serial interface
// keeps the COM1..COM4/Custom choice with its address and IRQ (so settings
// files load and save the same); COMn stands for /dev/ttyS(n-1) and Custom
// takes a device path. A sound card delivering discriminator audio is the
// other kind.
#pragma once

#include "app/desktop/dialogs/dialog_parts.h"

class QRadioButton;

namespace tolvane::desktop {

class InterfaceDialog : public SettingsDialog {
public:
    InterfaceDialog(DialogHost& host, QWidget* parent = nullptr);

    QRadioButton* serial;
    QComboBox* port;
    QLineEdit* device;
    QLineEdit* address;
    QComboBox* irq;
    QRadioButton* audio;
    QComboBox* soundCard;  // item data: the sound system's name ("" for its default)
    QComboBox* rate;
    QLineEdit* highPass;
    QCheckBox* fourLevel;
    QCheckBox* invert;

protected:
    bool Apply(Settings& next) override;

private:
    void PortChosen(int item);
    void UpdateEnabling();
};

}  // namespace tolvane::desktop
