#include "app/desktop/dialogs/interface_dialog.h"

#include <QAudioDevice>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QRadioButton>

#include <array>

#include "receiver/input_select.h"
#include "settings/ini_file.h"

namespace tolvane::desktop {

namespace {

struct StandardPort {
    std::uint32_t address;
    int irqItem;
};
constexpr std::array<StandardPort, 4> kStandardPorts = {{{0x3F8, 2}, {0x2F8, 1}, {0x3E8, 2}, {0x2E8, 1}}};
constexpr int kCustom = 4;  // list item of "Custom"
constexpr std::array<std::uint32_t, 9> kIrqValues = {2, 3, 4, 5, 6, 7, 10, 11, 12};
const QStringList kRates = {"22050", "44100", "48000", "96000"};

QString AddressText(std::uint32_t address) { return QString::asprintf("0x%03X", address); }
QString StandardDevice(int item) { return QString("/dev/ttyS%1").arg(item); }

}  // namespace

InterfaceDialog::InterfaceDialog(DialogHost& host, QWidget* parent) : SettingsDialog(host, parent, "Tolvane Interface") {
    const Settings& s = S();
    auto* grid = new QGridLayout;
    serial = new QRadioButton("&Serial Interface");
    grid->addWidget(serial, 0, 0, 1, 2);
    port = MakeList({"COM1", "COM2", "COM3", "COM4", "Custom"}, s.ComPort - 1);
    auto* portLabel = new QLabel("COM &Port:");
    portLabel->setBuddy(port);
    grid->addWidget(portLabel, 1, 0);
    grid->addWidget(port, 1, 1);
    device = AddField(grid, 2, "&Device:", s.ComPort >= 1 && s.ComPort <= 4 ? StandardDevice(s.ComPort - 1).toStdString()
                                                                               : s.Input.ComPortDevice,
                      kPathFieldMax);
    address = AddField(grid, 3, "Port I/O Address (hex):", AddressText(s.ComPortAddr).toStdString(), 5);
    irq = MakeList({"2/9", "3", "4", "5", "6", "7", "10", "11", "12"}, -1);
    for (std::size_t i = 0; i < kIrqValues.size(); ++i) {
        if (kIrqValues[i] == s.ComPortIRQ) irq->setCurrentIndex(static_cast<int>(i));
    }
    grid->addWidget(new QLabel("Port IRQ Vector:"), 4, 0);
    grid->addWidget(irq, 4, 1);

    audio = new QRadioButton("Sound &Card (Discriminator Audio)");
    grid->addWidget(audio, 5, 0, 1, 2);
    soundCard = new QComboBox;
    soundCard->addItem("Default", QString());
    for (const QAudioDevice& card : QMediaDevices::audioInputs()) {
        soundCard->addItem(card.description(), QString::fromUtf8(card.id()));
    }
    // A card that is not plugged in now stays chosen.
    if (soundCard->findData(Q(s.Input.AudioDevice)) < 0) soundCard->addItem(Q(s.Input.AudioDevice), Q(s.Input.AudioDevice));
    soundCard->setCurrentIndex(soundCard->findData(Q(s.Input.AudioDevice)));
    grid->addWidget(new QLabel("Sound Card:"), 6, 0);
    grid->addWidget(soundCard, 6, 1);
    const QString rateText = QString::number(s.Input.AudioRate);
    rate = MakeList(kRates, static_cast<int>(kRates.indexOf(rateText)));
    if (Selected(rate) < 0) {
        rate->addItem(rateText);
        rate->setCurrentIndex(rate->count() - 1);
    }
    grid->addWidget(new QLabel("Sample Rate (Hz):"), 7, 0);
    grid->addWidget(rate, 7, 1);
    highPass = AddField(grid, 8, "Input &High-Pass (Hz, 0 = DC-Coupled):", std::to_string(s.Input.InputHighPass), 4);
    (s.Input.InputKind == 1 ? audio : serial)->setChecked(true);

    fourLevel = AddCheck(grid, 9, "&4 Level FSK Interface", s.FourLevelInterface != 0);
    invert = AddCheck(grid, 10, "&Invert Data", s.InvertData != 0);
    connect(port, &QComboBox::activated, this, [this](int item) { PortChosen(item); });
    connect(serial, &QRadioButton::toggled, this, [this] { UpdateEnabling(); });
    UpdateEnabling();
    Finish(grid);
    (serial->isChecked() ? static_cast<QWidget*>(port) : soundCard)->setFocus();
}

void InterfaceDialog::PortChosen(int item) {
    if (item >= 0 && item < kCustom) {
        const StandardPort& p = kStandardPorts[static_cast<std::size_t>(item)];
        device->setText(StandardDevice(item));
        address->setText(AddressText(p.address));
        irq->setCurrentIndex(p.irqItem);
    }
    UpdateEnabling();
}

void InterfaceDialog::UpdateEnabling() {
    const bool onSerial = serial->isChecked();
    const bool custom = Selected(port) == kCustom;
    port->setEnabled(onSerial);
    for (QWidget* w : std::initializer_list<QWidget*>{device, address, irq}) w->setEnabled(onSerial && custom);
    soundCard->setEnabled(!onSerial);
    rate->setEnabled(!onSerial);
    highPass->setEnabled(!onSerial);
}

bool InterfaceDialog::Apply(Settings& next) {
    InputChoice& in = next.Input;
    in.InputKind = audio->isChecked() ? 1 : 0;
    if (in.InputKind == 0) {
        const int item = Selected(port);
        next.ComPort = item + 1;
        if (item >= 0 && item < kCustom) {
            const StandardPort& standard = kStandardPorts[static_cast<std::size_t>(item)];
            next.ComPortAddr = standard.address;
            next.ComPortIRQ = kIrqValues[static_cast<std::size_t>(standard.irqItem)];
        } else if (item == kCustom) {
            // A device path is what Linux needs. The I/O address and IRQ
            // mean nothing to it: kept as given (or as they were) so that
            // settings files load and save the same, never required.
            const std::string path = Text(device);
            if (path.empty()) return Refuse("You must provide a device path!");
            in.ComPortDevice = path;
            // Nothing readable leaves the address as it was.
            if (const auto typed = LeadingHex(Text(address, 5))) next.ComPortAddr = *typed;
            if (Selected(irq) >= 0) next.ComPortIRQ = kIrqValues[static_cast<std::size_t>(Selected(irq))];
        }
    } else {
        in.AudioDevice = soundCard->currentData().toString().toStdString();
        in.AudioRate = rate->currentText().toInt();
        bool number = false;
        const int corner = highPass->text().trimmed().toInt(&number);
        if (!number || corner < 0 || corner > 2000)
            return Refuse("The input high-pass is a corner from 0 to 2000 Hz (0 when the sound card is DC-coupled)!");
        in.InputHighPass = corner;
    }
    next.FourLevelInterface = fourLevel->isChecked();
    next.InvertData = invert->isChecked();
    in.Input = InterfaceInputName(next);
    return true;
}

bool ShowInterfaceDialog(QWidget* parent, DialogHost& host) {
    InterfaceDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop
