#include "app/desktop/dialogs/mqtt_dialog.h"

#include <QGridLayout>
#include <QLineEdit>

#include "platform/mqtt_publisher.h"

namespace tolvane::desktop {

MqttDialog::MqttDialog(DialogHost& host, QWidget* parent) : SettingsDialog(host, parent, "Tolvane MQTT") {
    const MachineChoice& m = S().Machine;
    auto* grid = new QGridLayout;
    broker = AddField(grid, 0, "&Broker URL:", m.MqttBroker, kPathFieldMax);
    broker->setPlaceholderText("mqtt://host:1883 (empty: no publishing)");
    topic = AddField(grid, 1, "&Topic:", m.MqttTopic, kPathFieldMax);
    topic->setPlaceholderText("tolvane/RECEIVER/pages");
    receiver = AddField(grid, 2, "&Receiver Name:", m.ReceiverName, kPathFieldMax);
    receiver->setPlaceholderText(Q(ReceiverNameOf(MachineChoice{})));
    user = AddField(grid, 3, "&User:", m.MqttUser, kPathFieldMax);
    passwordFile = AddField(grid, 4, "&Password File:", m.MqttPasswordFile, kPathFieldMax);
    passwordFile->setPlaceholderText("its first line is the password");
    clientId = AddField(grid, 5, "&Client ID:", m.MqttClientId, kPathFieldMax);
    clientId->setPlaceholderText("tolvane-RECEIVER-PID");
    grid->setColumnMinimumWidth(1, 320);
    Finish(grid);
    broker->setFocus();
}

bool MqttDialog::Apply(Settings& s) {
    MachineChoice m;
    m.MqttBroker = Text(broker);
    m.MqttTopic = Text(topic);
    m.ReceiverName = Text(receiver);
    m.MqttUser = Text(user);
    m.MqttPasswordFile = Text(passwordFile);
    m.MqttClientId = Text(clientId);
    // Refused here rather than found failing later in the status line.
    if (!m.MqttBroker.empty()) {
        MqttOptions options;
        std::string error;
        if (!MqttOptionsFor(m.MqttBroker, m, ReceiverNameOf(m), options, error)) return Refuse(Q(error));
    }
    s.Machine = m;
    return true;
}

bool ShowMqttDialog(QWidget* parent, DialogHost& host) {
    MqttDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop
