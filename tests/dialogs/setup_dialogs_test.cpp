// Logfile, Interface, Options and Scrollback filled in as a user would.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "app/desktop/dialogs/interface_dialog.h"
#include "app/desktop/dialogs/logfile_dialog.h"
#include "app/desktop/dialogs/options_dialog.h"
#include "app/desktop/dialogs/scrollback_dialog.h"
#include "support/dialog_test_support.h"

using namespace tolvane;
using namespace tolvane::desktop;
using namespace tolvane::desktop::testing;

namespace {
constexpr unsigned kInput = static_cast<unsigned>(SettingsChange::Input);
constexpr unsigned kLevels = static_cast<unsigned>(SettingsChange::Levels);
}  // namespace

class SetupDialogs : public QObject {
    Q_OBJECT
private slots:
    void logfile_data() {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("useDate");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("logFile");
        QTest::newRow("enabled without a name") << true << "" << false << "You must select a log file!" << "old.log";
        QTest::newRow("date naming needs no name") << true << "" << true << "" << "old.log";
        QTest::newRow("off keeps a typed name") << false << "new.log" << false << "" << "new.log";
    }
    void logfile() {
        QFETCH(bool, enabled);
        QFETCH(QString, name);
        QFETCH(bool, useDate);
        QFETCH(QString, message);
        QFETCH(QString, logFile);
        Settings s;
        s.LogFile = "old.log";
        s.LogFileEnabled = 1;
        TestHost host(s);
        LogfileDialog dialog(host);
        dialog.file->setText(name);
        if (dialog.enabled->isChecked() != enabled) dialog.enabled->click();
        if (useDate) dialog.useDate->click();
        Choose(dialog.flushTime, 1);
        MessageWatcher watcher;
        dialog.ok->click();
        QCOMPARE(watcher.texts, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(dialog.result() == QDialog::Accepted, message.isEmpty());
        const Settings saved = message.isEmpty() ? host.Saved() : host.Live();
        QCOMPARE(QString::fromStdString(saved.LogFile), logFile);
        if (message.isEmpty()) {
            QCOMPARE(saved, host.Live());
            QCOMPARE(saved.LogFileEnabled, enabled);
            QCOMPARE(saved.LogFileUseDate, useDate);
            QCOMPARE(saved.LogFlushTime, 2);
            QCOMPARE(host.reported, std::vector<unsigned>{static_cast<unsigned>(SettingsChange::Files)});
        } else {
            QCOMPARE(host.saves, 0);
        }
    }

    // The chooser opens when the name gains the focus; a choice equal to the
    // filter file is refused; the focus then goes to OK.
    void logfileChooser() {
        Settings s;
        s.LogFileEnabled = 1;
        s.FilterFile = "/tmp/hits.flt";
        TestHost host(s);
        LogfileDialog dialog(host);
        QStringList offers = {"/tmp/hits.flt", "/tmp/pages.log"};
        QStringList asked;
        dialog.chooser = [&](QWidget*, const QString& caption, const QString& initial, const QStringList& types) {
            asked = QStringList{caption, initial} + types;
            return offers.takeFirst();
        };
        dialog.show();
        MessageWatcher watcher;
        for (const char* expected : {"", "/tmp/pages.log"}) {
            dialog.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            dialog.file->setFocus();
            QTRY_COMPARE(dialog.focusWidget(), dialog.ok);
            QCOMPARE(dialog.file->text(), QString(expected));
        }
        QCOMPARE(asked, (QStringList{"Open Log File...", "*.log", "Log Files (*.log)", "All Files (*)"}));
        QCOMPARE(watcher.texts, QStringList{"Log file can't be same as Filter file!"});
    }

    void logfileEnabling() {
        Settings s;
        s.LogFileEnabled = 1;
        s.LogFileUseDate = 1;
        TestHost host(s);
        LogfileDialog dialog(host);
        auto states = [&] {
            return QList<bool>{dialog.file->isEnabled(), dialog.useDate->isEnabled(), dialog.flush->isEnabled(),
                               dialog.flushTime->isEnabled()};
        };
        QCOMPARE(states(), (QList<bool>{false, true, true, false}));
        QCOMPARE(dialog.flushTime->currentText(), QString("60 Seconds"));
        dialog.useDate->click();
        dialog.flush->click();
        QCOMPARE(states(), (QList<bool>{true, true, true, true}));
        dialog.enabled->click();
        QCOMPARE(states(), (QList<bool>{false, false, false, false}));
    }

    void interface_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("irq");
        QTest::addColumn<bool>("fourLevel");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("comPort");
        QTest::addColumn<int>("comPortAddr");
        QTest::addColumn<int>("comPortIrq");
        QTest::addColumn<QString>("input");
        QTest::addColumn<unsigned>("changes");
        // The saved port is COM1 (0x3F8, IRQ 4) with 4-level off.
        QTest::newRow("COM2 stores its standard values") << 1 << "" << "0x123" << 5 << false << "" << 2 << 0x2F8 << 3
                                                         << "serial:/dev/ttyS1" << kInput;
        QTest::newRow("custom without a path") << 4 << "" << "0x2E8" << 3 << false << "You must provide a device path!"
                                               << 1 << 0x3F8 << 4 << "serial:/dev/ttyS0" << 0u;
        QTest::newRow("custom without an IRQ") << 4 << "/dev/ttyUSB0" << "0x2E8" << -1 << false
                                               << "You must select an IRQ vector!" << 1 << 0x3F8 << 4
                                               << "serial:/dev/ttyS0" << 0u;
        QTest::newRow("custom, hex with 0x") << 4 << "/dev/ttyUSB0" << "0x2E8" << 3 << false << "" << 5 << 0x2E8 << 5
                                             << "serial:/dev/ttyUSB0" << kInput;
        QTest::newRow("custom, hex without 0x") << 4 << "/dev/ttyUSB0" << "2e8" << 3 << false << "" << 5 << 0x2E8 << 5
                                                << "serial:/dev/ttyUSB0" << kInput;
        QTest::newRow("only 4-level: no re-attach") << 0 << "" << "" << 0 << true << "" << 1 << 0x3F8 << 4
                                                    << "serial:/dev/ttyS0" << kLevels;
    }
    void interface() {
        QFETCH(int, port);
        QFETCH(QString, device);
        QFETCH(QString, address);
        QFETCH(int, irq);
        QFETCH(bool, fourLevel);
        QFETCH(QString, message);
        Settings s;
        s.ComPort = 1, s.ComPortAddr = 0x3F8, s.ComPortIRQ = 4, s.Input.Input = "serial:/dev/ttyS0";
        TestHost host(s);
        InterfaceDialog dialog(host);
        Choose(dialog.port, port);
        if (port == 4) {
            dialog.device->setText(device);
            dialog.address->setText(address);
            dialog.irq->setCurrentIndex(irq);
        }
        dialog.fourLevel->setChecked(fourLevel);
        MessageWatcher watcher;
        dialog.ok->click();
        QCOMPARE(watcher.texts, message.isEmpty() ? QStringList() : QStringList{message});
        const Settings result = message.isEmpty() ? host.Saved() : host.Live();
        QTEST(result.ComPort, "comPort");
        QTEST(static_cast<int>(result.ComPortAddr), "comPortAddr");
        QTEST(static_cast<int>(result.ComPortIRQ), "comPortIrq");
        QTEST(QString::fromStdString(result.Input.Input), "input");
        QTEST(host.AllReported(), "changes");
        if (port == 4 && message.isEmpty()) QCOMPARE(QString::fromStdString(result.Input.ComPortDevice), device);
    }

    void interfaceEnabling() {
        TestHost host;
        InterfaceDialog dialog(host);
        auto serialStates = [&] {
            return QList<bool>{dialog.port->isEnabled(), dialog.device->isEnabled(), dialog.address->isEnabled(),
                               dialog.irq->isEnabled(), dialog.soundCard->isEnabled(), dialog.rate->isEnabled()};
        };
        QVERIFY(dialog.serial->isChecked());
        QCOMPARE(serialStates(), (QList<bool>{true, false, false, false, false, false}));
        Choose(dialog.port, 4);
        QCOMPARE(serialStates(), (QList<bool>{true, true, true, true, false, false}));
        Choose(dialog.port, 2);
        QCOMPARE(serialStates(), (QList<bool>{true, false, false, false, false, false}));
        QCOMPARE(dialog.device->text(), QString("/dev/ttyS2"));
        QCOMPARE(dialog.address->text(), QString("0x3E8"));
        QCOMPARE(dialog.irq->currentText(), QString("4"));
        dialog.audio->click();
        QCOMPARE(serialStates(), (QList<bool>{false, false, false, false, true, true}));
        QCOMPARE(dialog.soundCard->itemText(0), QString("Default"));
    }

    // A sound card the system does not list now stays chosen and survives a save and load.
    void interfaceSoundCard() {
        Settings s;
        s.Input.AudioDevice = "alsa_input.usb-radio";
        TestHost host(s);
        InterfaceDialog dialog(host);
        dialog.audio->click();
        QCOMPARE(dialog.soundCard->currentData().toString(), QString("alsa_input.usb-radio"));
        dialog.rate->setCurrentText("44100");
        dialog.ok->click();
        const Settings saved = host.Saved();
        QCOMPARE(saved.Input.InputKind, 1);
        QCOMPARE(saved.Input.AudioDevice, std::string("alsa_input.usb-radio"));
        QCOMPARE(saved.Input.AudioRate, 44100);
        QCOMPARE(saved.Input.Input, std::string("audio:alsa_input.usb-radio"));
        QCOMPARE(host.AllReported(), kInput);
    }

    // A decoder switched off loses its lock at once.
    void options_data() {
        QTest::addColumn<int>("box");
        QTest::addColumn<unsigned>("changes");
        QTest::addColumn<bool>("locked");
        QTest::newRow("timestamp off") << 1 << 0u << true;
        QTest::newRow("FLEX off") << 7 << static_cast<unsigned>(SettingsChange::Decoders) << false;
    }
    void options() {
        QFETCH(int, box);
        TestHost host;
        host.rig.engine->Chain().FlexLock = true;
        OptionsDialog dialog(host);
        QCOMPARE(dialog.boxes[5]->isChecked(), false);  // filter beep is off by default
        dialog.boxes[static_cast<std::size_t>(box)]->click();
        dialog.ok->click();
        Settings expected;
        (box == 1 ? expected.Timestamp : expected.DecodeFlex) = 0;
        QCOMPARE(host.Saved(), expected);
        QTEST(host.AllReported(), "changes");
        QTEST(host.rig.engine->Chain().FlexLock, "locked");
    }

    void scrollback_data() {
        QTest::addColumn<QString>("messageRows");
        QTest::addColumn<QString>("filterRows");
        QTest::addColumn<QString>("message");
        QTest::addColumn<unsigned>("rows");
        QTest::addColumn<bool>("kept");
        // The message pane starts at 2000 rows with a page in it.
        QTest::newRow("999 refused") << "999" << "300" << "Message scrollback minimum is 1000!" << 2000u << true;
        QTest::newRow("not a number") << "" << "300" << "Message scrollback minimum is 1000!" << 2000u << true;
        QTest::newRow("1000 accepted") << "1000" << "300" << "" << 1000u << false;
        QTest::newRow("unchanged: pane kept") << "2000" << "300" << "" << 2000u << true;
        QTest::newRow("filter 199 refused, message size in effect")
            << "1000" << "199" << "Filter scrollback minimum is 200!" << 1000u << false;
    }
    void scrollback() {
        QFETCH(QString, messageRows);
        QFETCH(QString, filterRows);
        QFETCH(QString, message);
        Settings s;
        s.Pane1Size = 2000, s.Pane2Size = 300;
        TestHost host(s);
        Output& output = host.rig.engine->output();
        tolvane::testing::WritePage(output, FilterType::Pocsag, "1234567", 0, 0, "HELLO");
        ScrollbackDialog dialog(host);
        dialog.messageRows->setText(messageRows);
        dialog.filterRows->setText(filterRows);
        MessageWatcher watcher;
        dialog.ok->click();
        QCOMPARE(watcher.texts, message.isEmpty() ? QStringList() : QStringList{message});
        QTEST(output.MessagePane.capacity, "rows");
        QTEST(host.Live().Pane1Size, "rows");
        QTEST(output.MessagePane.row > 0, "kept");
        QCOMPARE(host.saves, message.isEmpty() ? 1 : 0);
    }
};

QTEST_MAIN(SetupDialogs)
#include "setup_dialogs_test.moc"
