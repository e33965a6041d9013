// "Tolvane MQTT": where the desktop program publishes its pages.
#pragma once

#include "app/desktop/dialogs/dialog_parts.h"

namespace tolvane::desktop {

class MqttDialog : public SettingsDialog {
public:
    MqttDialog(DialogHost& host, QWidget* parent = nullptr);

    QLineEdit* broker;
    QLineEdit* topic;
    QLineEdit* receiver;
    QLineEdit* user;
    QLineEdit* passwordFile;
    QLineEdit* clientId;

protected:
    bool Apply(Settings& next) override;
};

}  // namespace tolvane::desktop
