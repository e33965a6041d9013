// The settings, filter and monitor dialogs filled in as a user would, over a
// real engine in a fake world: what each refuses (with its exact message)
// and what OK hands to the engine and the settings file.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/desktop/dialogs/filter_dialogs.h"
#include "app/desktop/dialogs/interface_dialog.h"
#include "app/desktop/dialogs/logfile_dialog.h"
#include "app/desktop/dialogs/monitor_dialogs.h"
#include "app/desktop/dialogs/options_dialog.h"
#include "app/desktop/dialogs/scrollback_dialog.h"
#include "settings/settings_file.h"
#include "support/fake_world.h"
#include "support/qt_test_helpers.h"

using namespace tolvane;
using namespace tolvane::desktop;
using tolvane::testing::ModalAnswer;

namespace {

// The dialogs' host over a real engine which, as in the main window, compares
// the record handed over with the one it has; saved to a temporary INI file.
class TestHost : public DialogHost {
public:
    explicit TestHost(const Settings& s) : rig(s) {}
    Settings& CurrentSettings() override { return rig.engine->settings(); }
    bool SaveSettingsFile() override { return ++saves, SaveSettings(kAppName, path_, CurrentSettings()); }
    void SettingsChanged(unsigned) override {}
    const Statistics& CurrentStatistics() override { return rig.engine->Stats(); }
    void ApplySettings(const Settings& next, unsigned) override { rig.engine->ApplySettings(next); }
    Settings Saved() const { return [this](Settings s) { return LoadSettings(kAppName, path_, s), s; }({}); }
    tolvane::testing::TestRig rig;
    int saves = 0;

private:
    QTemporaryDir folder_;
    std::string path_ = folder_.filePath("Tolvane.INI").toStdString();
};

// Picks an item the way a user completes a choice in a list.
void Choose(QComboBox* list, int item) {
    list->setCurrentIndex(item);
    emit list->activated(item);
}

// "1" for each enabled widget, "0" for each disabled one.
QString On(std::initializer_list<QWidget*> widgets) {
    QString states;
    for (QWidget* w : widgets) states += w->isEnabled() ? '1' : '0';
    return states;
}

// Start, stop and timeout list items of each keep-alive range. Hours 1..24
// are the items of 12 am..11 pm: {23, 2, 5} is 10 pm to 1:59 am, 5 minutes.
void SetRanges(KeepAliveDialog& d, std::vector<std::array<int, 3>> ranges) {
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        for (std::size_t l = 0; l < 3; ++l) d.ranges[r][l]->setCurrentIndex(ranges[r][l]);
    }
}

// Gives `field` the focus, as a click would, with a chooser that picks
// `chosen`: what the chooser was asked, then any message shown, joined by
// "|"; the focus must then have moved to OK.
QString Pick(SettingsDialog& d, QLineEdit* field, const QString& chosen) {
    QStringList asked;
    d.chooser = [&](QWidget*, const QString& caption, const QString& initial, const QStringList& types) {
        return asked = QStringList{caption, initial} + types, chosen;
    };
    ModalAnswer answer;
    d.setModal(false), d.show(), d.activateWindow();  // non-modal: only the message is answered
    if (!QTest::qWaitForWindowActive(&d)) return "not shown";
    field->setFocus();
    if (!QTest::qWaitFor([&] { return d.focusWidget() == d.ok; })) asked << "focus not on OK";
    return (asked + answer.texts).join('|');
}

Settings Start() {
    Settings s;
    s.LogFile = "old.log", s.LogFileEnabled = 1, s.FilterFile = "old.flt", s.StatFile = "old.st";
    s.ComPort = 1, s.ComPortAddr = 0x3F8, s.ComPortIRQ = 4, s.Input.Input = "serial:/dev/ttyS0";
    s.Input.AudioDevice = "alsa_input.usb-radio";  // not plugged in now
    s.Pane1Size = 2000, s.Pane2Size = 300;
    return s;
}

using Opener = std::function<std::unique_ptr<SettingsDialog>(TestHost&)>;
template <class D> Opener Fill(std::function<void(D&)> fill) {
    return [fill](TestHost& host) {
        auto dialog = std::make_unique<D>(host);
        fill(*dialog);
        return dialog;
    };
}

struct Case {
    const char* name;
    Opener open;
    const char* refused;                  // the message shown, or "": accepted
    std::function<void(Settings&)> want;  // the live (and, if accepted, saved) record: Start() with these edits
};

const auto kSame = [](Settings&) {};
const char* const kNoStatFile = "You must select a statistics file!";
const char* const kOverlap = "Time ranges overlap!";

const std::vector<Case> kCases = {
    {"log on without a name", Fill<LogfileDialog>([](auto& d) { d.file->clear(); }), "You must select a log file!", kSame},
    {"log named by date", Fill<LogfileDialog>([](auto& d) {
         d.file->clear(), d.useDate->click(), d.flush->click(), Choose(d.flushTime, 1);
         QCOMPARE(On({d.file, d.useDate, d.flush, d.flushTime}), "0111");
     }), "", [](Settings& s) { s.LogFileUseDate = 1, s.LogFileFlush = 1, s.LogFlushTime = 2; }},
    {"log off keeps a typed name", Fill<LogfileDialog>([](auto& d) {
         d.file->setText("new.log"), d.enabled->click();
         QCOMPARE(On({d.file, d.useDate, d.flush, d.flushTime}), "0000");
     }), "", [](Settings& s) { s.LogFile = "new.log", s.LogFileEnabled = 0, s.LogFlushTime = 5; }},
    // A choice equal to the filter file is refused.
    {"log file chosen", Fill<LogfileDialog>([](auto& d) {
         QCOMPARE(Pick(d, d.file, "old.flt") + Pick(d, d.file, "/tmp/pages.log"),
                  "Open Log File...|old.log|Log Files (*.log)|All Files (*)|Log file can't be same as Filter file!"
                  "Open Log File...|old.log|Log Files (*.log)|All Files (*)");
     }), "", [](Settings& s) { s.LogFile = "/tmp/pages.log", s.LogFlushTime = 5; }},
    {"COM2", Fill<InterfaceDialog>([](auto& d) {
         Choose(d.port, 1);
         QCOMPARE(d.device->text() + d.address->text() + d.irq->currentText(), "/dev/ttyS10x2F83");
         QCOMPARE(On({d.port, d.device, d.address, d.irq, d.soundCard, d.rate}), "100000");
     }), "", [](Settings& s) { s.ComPort = 2, s.ComPortAddr = 0x2F8, s.ComPortIRQ = 3, s.Input.Input = "serial:/dev/ttyS1"; }},
    {"custom port without a path", Fill<InterfaceDialog>([](auto& d) {
         Choose(d.port, 4), d.device->clear();
         QCOMPARE(On({d.port, d.device, d.address, d.irq}), "1111");
     }), "You must provide a device path!", kSame},
    {"custom port without an IRQ", Fill<InterfaceDialog>([](auto& d) { Choose(d.port, 4), d.irq->setCurrentIndex(-1); }),
     "You must select an IRQ vector!", kSame},
    {"custom 4-level port", Fill<InterfaceDialog>([](auto& d) {
         Choose(d.port, 4), d.device->setText("/dev/ttyUSB0"), d.address->setText("0x2e8"), d.irq->setCurrentIndex(3);
         d.fourLevel->setChecked(true);
     }), "", [](Settings& s) {
         s.ComPort = 5, s.ComPortAddr = 0x2E8, s.ComPortIRQ = 5, s.FourLevelInterface = 1;
         s.Input.ComPortDevice = "/dev/ttyUSB0", s.Input.Input = "serial:/dev/ttyUSB0";
     }},
    {"sound card not plugged in", Fill<InterfaceDialog>([](auto& d) {
         d.audio->click(), d.rate->setCurrentText("44100");
         QCOMPARE(On({d.port, d.soundCard, d.rate}), "011");
     }), "", [](Settings& s) { s.Input.InputKind = 1, s.Input.AudioRate = 44100, s.Input.Input = "audio:alsa_input.usb-radio"; }},
    {"FLEX off", Fill<OptionsDialog>([](auto& d) { d.boxes[7]->click(); }), "", [](Settings& s) { s.DecodeFlex = 0; }},
    {"message rows 999", Fill<ScrollbackDialog>([](auto& d) { d.messageRows->setText("999"); }),
     "Message scrollback minimum is 1000!", kSame},
    // The message-pane size takes effect before the filter-pane size is refused.
    {"message rows 1000, filter rows 199",
     Fill<ScrollbackDialog>([](auto& d) { d.messageRows->setText("1000"), d.filterRows->setText("199"); }),
     "Filter scrollback minimum is 200!", [](Settings& s) { s.Pane1Size = 1000; }},
    {"filter output without a name", Fill<FiltersDialog>([](auto& d) {
         QCOMPARE(On({d.outputFile, d.useDate, d.flushTime, d.commandFile, d.commandArgs}), "00000");
         d.outputFile->clear(), d.outputEnabled->setChecked(true);
     }), "You must select a filter file!", kSame},
    {"filter command without a name", Fill<FiltersDialog>([](auto& d) {
         d.outputEnabled->setChecked(true), d.useDate->setChecked(true), d.commandEnabled->setChecked(true);
         QCOMPARE(On({d.outputFile, d.useDate, d.flushTime, d.commandFile, d.commandArgs}), "01011");
     }), "You must select a command file!", kSame},
    // An empty name leaves the file as it was.
    {"filter output named by date", Fill<FiltersDialog>([](auto& d) {
         d.outputFile->clear(), d.outputEnabled->setChecked(true), d.useDate->setChecked(true), d.commandArgs->setText("%c");
     }), "", [](Settings& s) { s.FilterFileEnabled = 1, s.FilterFileUseDate = 1, s.FilterCmdArgs = "%c", s.FilterFlushTime = 5; }},
    {"statistics text without a name", Fill<StatisticsDialog>([](auto& d) {
         QCOMPARE(On({d.textFile, d.textUseDate}), "00");
         d.textFile->clear(), d.textEnabled->setChecked(true);
     }), kNoStatFile, kSame},
    {"statistics CSV without a name", Fill<StatisticsDialog>([](auto& d) { d.csvEnabled->setChecked(true); }), kNoStatFile, kSame},
    // Counts too wide for their column show as stars.
    {"statistics CSV named by date", [](TestHost& host) {
         Statistics& stats = host.rig.engine->Stats();
         stats.HourlyStats.numericMsgs[P1200] = stats.DailyStats.numericMsgs[P1200] = 1234567;
         stats.HourlyStats.alphaMsgs[GOLAY] = 999999, stats.DailyStats.alphaMsgs[GOLAY] = 10000000;
         return Fill<StatisticsDialog>([](auto& d) {
             QCOMPARE(d.counts[0][P1200]->text() + d.counts[2][P1200]->text() + d.counts[1][GOLAY]->text() +
                          d.counts[3][GOLAY]->text(), "******1234567999999******");
             d.textFile->clear(), d.csvEnabled->setChecked(true), d.csvUseDate->setChecked(true);
             QCOMPARE(On({d.csvFile, d.csvUseDate}), "01");
         })(host);
     }, "", [](Settings& s) { s.StatFile = "", s.StatCSVFileEnabled = 1, s.StatCSVFileUseDate = 1; }},
    {"range past midnight, one without a stop", Fill<KeepAliveDialog>([](auto& d) { SetRanges(d, {{23, 2, 5}, {23, 0, 2}}); }),
     "", [](Settings& s) { s.KeepAliveStart = {23, 23, 0}, s.KeepAliveStop = {2, 0, 0}, s.KeepAliveTimeout = {5, 2, 0}; }},
    {"range 2 equal to range 1", Fill<KeepAliveDialog>([](auto& d) { SetRanges(d, {{23, 2, 5}, {23, 2, 5}}); }), kOverlap, kSame},
    {"range 3 meets range 1 at its stop",
     Fill<KeepAliveDialog>([](auto& d) { SetRanges(d, {{23, 2, 5}, {4, 6, 1}, {2, 3, 1}}); }), kOverlap, kSame},
    {"unwatched range still blocks", Fill<KeepAliveDialog>([](auto& d) { SetRanges(d, {{1, 24, 0}, {5, 5, 3}}); }), kOverlap, kSame},
    {"keep-alive command without a name", Fill<KeepAliveDialog>([](auto& d) {
         QCOMPARE(d.ranges[0][0]->itemText(1) + d.ranges[0][1]->itemText(13) + d.ranges[0][2]->itemText(1),
                  "12:00 am12:59 pm1 minute");
         SetRanges(d, {{3, 4, 13}}), Choose(d.ranges[0][1], 0);  // "Disabled" in one list disables the range
         d.commandEnabled->click();
         QCOMPARE(On({d.commandFile, d.commandArgs}) + QString::number(d.ranges[0][0]->currentIndex()), "110");
     }), "You must select a command file!", kSame},
};

FilterRecord Pocsag(const char* capcode, const char* label) {
    FilterRecord r;
    r.type = FilterType::Pocsag, r.capcode = capcode, r.label = label;
    return r;
}

}  // namespace

class Dialogs : public QObject {
    Q_OBJECT
private slots:
    void ok_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < kCases.size(); ++i) QTest::newRow(kCases[i].name) << static_cast<int>(i);
    }
    // Cancel changes nothing; OK either refuses with one message, saving
    // nothing, or hands the edited record to the engine and saves it.
    void ok() {
        QFETCH(int, row);
        const Case& c = kCases[static_cast<std::size_t>(row)];
        const bool refused = *c.refused != '\0';
        TestHost host(Start());
        const std::unique_ptr<SettingsDialog> dialog = c.open(host);
        ModalAnswer answer;
        if (!refused) dialog->cancel->click();
        QCOMPARE(host.CurrentSettings(), Start());
        dialog->ok->click();
        QCOMPARE(answer.texts, refused ? QStringList{c.refused} : QStringList());
        QCOMPARE(dialog->result() == QDialog::Accepted, !refused);
        Settings want = Start();
        c.want(want);
        QCOMPARE(host.CurrentSettings(), want);
        QCOMPARE(host.saves, refused ? 0 : 1);
        if (!refused) QCOMPARE(host.Saved(), want);
    }

    // Add/Edit Filter: the type list item (Text, POCSAG, short FLEX, long
    // FLEX, GSC) chosen after POCSAG with Reject on, the capcode or text
    // typed; which of capcode, function, baud, reject and label the type
    // enables; the message on OK, or the list line of what is stored.
    void editor() {
        const struct { int type; const char *entry, *enabled, *message, *stored; } rows[] = {
            {4, "12", "11010", "", "Golay | 000012 | Any | REJECT"},
            {3, "12?45", "10010", "", "Long FLEX | 000012?45 | REJECT"},
            {1, "12a4", "11110", "Invalid characters in capcode!", "UNUSED"},
            {1, "", "11110", "You must enter a capcode!", "UNUSED"},
            {0, "", "00001", "You must enter a text string!", "UNUSED"},
            {0, "FIRE", "00001", "", "Text | \"FIRE\""}};
        for (const auto& r : rows) {
            FilterRecord record;
            FilterEditDialog d(record);
            Choose(d.type, 1), d.reject->click(), Choose(d.type, r.type);
            QCOMPARE(On({d.capcode, d.function, d.baud, d.reject, d.label}), r.enabled);
            (r.type == 0 ? d.text : d.capcode)->setText(r.entry);
            ModalAnswer answer;
            d.ok->click();
            QCOMPARE(answer.texts.join(""), QString(r.message));
            QCOMPARE(FormatFilterLine(record), std::string(r.stored));
        }
        // Editing: the type stays, the record's function and baud show;
        // Reject empties the label and command and gives them back.
        FilterRecord record = Pocsag("1234567", "Fire");
        record.function = 2, record.baud = 3, record.command = 1;
        FilterEditDialog d(record);
        const std::initializer_list<QWidget*> all = {d.type, d.capcode, d.function, d.baud, d.label, d.command};
        QCOMPARE(On(all) + d.function->currentText() + d.baud->currentText(), "0111112512");
        d.reject->click();
        QCOMPARE(On(all) + d.label->text() + QString::number(d.command->isChecked()), "0111000");
        d.reject->click();
        QCOMPARE(d.label->text() + QString::number(d.command->isChecked()), "Fire1");
    }

    // Add, Edit and Delete act on the live table at once; Cancel keeps them.
    void filterTable() {
        Settings s;
        s.Filters.assign(kMaxFilters - 2, Pocsag("0000001", "A"));
        TestHost host(s);
        FiltersDialog dialog(host);
        dialog.editFilter = [](FilterRecord& r) { return r = Pocsag("7654321", r.label.empty() ? "Water" : "C"), true; };
        ModalAnswer answer(false);
        dialog.edit->click(), dialog.remove->click();
        dialog.list->setCurrentRow(0);
        dialog.remove->click(), dialog.edit->click();  // Delete answered with Cancel
        answer.accept = true;
        for (int i = 0; i < 3; ++i) dialog.add->click();  // the 201st is refused
        dialog.remove->click();  // the last line: the new last line is selected
        QCOMPARE(answer.texts, (QStringList{"You must select a filter to edit!", "You must select a filter to delete!",
                                            "Delete POCSAG | A | 0000...?", "Error!  Max filters defined!",
                                            "Delete POCSAG | Water | ...?"}));
        const std::vector<FilterRecord>& filters = host.CurrentSettings().Filters;
        QVERIFY(filters.size() == 199 && filters[0].label == "C");
        QCOMPARE(dialog.list->item(0)->text() + QString::number(dialog.list->currentRow()), "POCSAG | C | 7654321 | Any | Any198");
        dialog.cancel->click();
        QVERIFY(filters.size() == 199 && host.saves == 0);
    }
};

QTEST_MAIN(Dialogs)
#include "dialogs_test.moc"
