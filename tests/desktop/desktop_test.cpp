// The desktop program's real widgets and its dialogs, driven offscreen. The
// dialogs are filled in as a user would over a real engine in a fake world:
// what each refuses (with its exact message) and what OK hands to the engine
// and the settings file. The window: title, exit, resizing and fonts,
// scrolling, selection and the clipboard, the splitter, menu dialogs, the
// status line, and an IQ recording given as input.
#include <QSpinBox>
#include <QWheelEvent>

#include "app/desktop/colors_dialog.h"
#include "app/desktop/dialogs/filter_dialogs.h"
#include "app/desktop/dialogs/interface_dialog.h"
#include "app/desktop/dialogs/logfile_dialog.h"
#include "app/desktop/dialogs/monitor_dialogs.h"
#include "app/desktop/dialogs/options_dialog.h"
#include "app/desktop/dialogs/scrollback_dialog.h"
#include "desktop_support.h"

using namespace tolvane;
using namespace tolvane::desktop;

namespace {

// Start, stop and timeout list items of each keep-alive range. Hours 1..24
// are the items of 12 am..11 pm: {23, 2, 5} is 10 pm to 1:59 am, 5 minutes.
void SetRanges(KeepAliveDialog& d, std::vector<std::array<int, 3>> ranges) {
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        for (std::size_t l = 0; l < 3; ++l) d.ranges[r][l]->setCurrentIndex(ranges[r][l]);
    }
}

// Presses the Browse button beside `field`, with a chooser that picks
// `chosen`: what the chooser was asked (caption, start name, Open or Save,
// types), then any message shown, joined by "|".
QString Pick(SettingsDialog& d, QLineEdit* field, const QString& chosen) {
    QStringList asked;
    d.chooser = [&](QWidget*, const QString& caption, const QString& initial, const QStringList& types, FileUse use) {
        return asked = QStringList{caption, initial, use == FileUse::Write ? "Save" : "Open"} + types, chosen;
    };
    auto* browse = field->parentWidget()->findChild<QPushButton*>("browse");
    if (browse == nullptr) return "no Browse button";
    const QString messages = Answered([browse] { browse->click(); });
    return (asked + QStringList(messages)).join('|');
}

Settings Start() {
    Settings s;
    s.LogFile = "old.log", s.LogFileEnabled = 1, s.FilterFile = "old.flt", s.StatFile = "old.st";
    s.ComPort = 1, s.ComPortAddr = 0x3F8, s.ComPortIRQ = 4, s.Input.Input = "serial:/dev/ttyS0";
    s.Input.AudioDevice = "alsa_input.usb-radio";  // not plugged in now
    s.Pane1Size = 2000, s.Pane2Size = 300;
    s.ShowNumeric = s.ShowMisc = 2;  // ticked boxes; a 2 reads differently from a 1
    s.RepeatWindow = 15, s.Charset = 3;
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
         QCOMPARE(Pick(d, d.file, "old.flt"),
                  "Log File|old.log|Save|Log Files (*.log)|All Files (*)|Log file can't be same as Filter file!");
         QCOMPARE(Pick(d, d.file, "/tmp/pages.log"), "Log File|old.log|Save|Log Files (*.log)|All Files (*)|");
     }), "", [](Settings& s) { s.LogFile = "/tmp/pages.log", s.LogFlushTime = 5; }},
    {"COM2", Fill<InterfaceDialog>([](auto& d) {
         Choose(d.port, 1);
         QCOMPARE(d.device->text() + d.address->text() + d.irq->currentText(), "/dev/ttyS10x2F83");
         QCOMPARE(On({d.port, d.device, d.address, d.irq, d.soundCard, d.rate, d.highPass}), "1000000");
     }), "", [](Settings& s) { s.ComPort = 2, s.ComPortAddr = 0x2F8, s.ComPortIRQ = 3, s.Input.Input = "serial:/dev/ttyS1"; }},
    {"custom port without a path", Fill<InterfaceDialog>([](auto& d) {
         Choose(d.port, 4), d.device->clear();
         QCOMPARE(On({d.port, d.device, d.address, d.irq}), "1111");
     }), "You must provide a device path!", kSame},
    // The I/O address and IRQ are not needed on Linux; the stored ones stay.
    {"custom port without an IRQ or address", Fill<InterfaceDialog>([](auto& d) {
         Choose(d.port, 4), d.irq->setCurrentIndex(-1), d.address->clear();
     }), "", [](Settings& s) { s.ComPort = 5, s.Input.ComPortDevice = "/dev/ttyS0"; }},
    {"custom 4-level port", Fill<InterfaceDialog>([](auto& d) {
         Choose(d.port, 4), d.device->setText("/dev/ttyUSB0"), d.address->setText("0x2e8"), d.irq->setCurrentIndex(3);
         d.fourLevel->setChecked(true);
     }), "", [](Settings& s) {
         s.ComPort = 5, s.ComPortAddr = 0x2E8, s.ComPortIRQ = 5, s.FourLevelInterface = 1;
         s.Input.ComPortDevice = "/dev/ttyUSB0", s.Input.Input = "serial:/dev/ttyUSB0";
     }},
    {"sound card not plugged in, AC-coupled", Fill<InterfaceDialog>([](auto& d) {
         d.audio->click(), d.rate->setCurrentText("44100"), d.highPass->setText("30");
         QCOMPARE(On({d.port, d.soundCard, d.rate, d.highPass}), "0111");
     }), "", [](Settings& s) {
         s.Input.InputKind = 1, s.Input.AudioRate = 44100, s.Input.InputHighPass = 30;
         s.Input.Input = "audio:alsa_input.usb-radio";
     }},
    {"sound card high-pass out of range", Fill<InterfaceDialog>([](auto& d) { d.audio->click(), d.highPass->setText("2001"); }),
     "The input high-pass is a corner from 0 to 2000 Hz (0 when the sound card is DC-coupled, auto when not known)!",
     kSame},
    {"sound card high-pass estimated", Fill<InterfaceDialog>([](auto& d) { d.audio->click(), d.highPass->setText("Auto"); }),
     "", [](Settings& s) {
         s.Input.InputKind = 1, s.Input.InputHighPass = InputChoice::kInputHighPassEstimated;
         s.Input.Input = "audio:alsa_input.usb-radio";
     }},
    {"FLEX off", Fill<OptionsDialog>([](auto& d) { d.boxes[7]->click(); }), "", [](Settings& s) { s.DecodeFlex = 0; }},
    {"fragments apart, a minute, German", Fill<OptionsDialog>([](auto& d) {
         QCOMPARE(On({d.boxes[9], d.repeatWindow, d.charset}) + QString::number(d.boxes[9]->isChecked()) +
                      QString::number(d.repeatWindow->value()) + d.charset->currentText(), "111115Swedish/Finnish");
         d.boxes[9]->click(), d.repeatWindow->setValue(60), Choose(d.charset, 1);
     }), "", [](Settings& s) { s.JoinFragments = 0, s.RepeatWindow = 60, s.Charset = 1; }},
    {"repeats shown, Spanish", Fill<OptionsDialog>([](auto& d) { d.repeatWindow->setValue(0), Choose(d.charset, 6); }),
     "", [](Settings& s) { s.RepeatWindow = 0, s.Charset = 6; }},
    {"message rows 999", Fill<ScrollbackDialog>([](auto& d) { d.messageRows->setText("999"); }),
     "Message scrollback minimum is 1000!", kSame},
    // The message-pane size takes effect before the filter-pane size is refused.
    {"message rows 1000, filter rows 199",
     Fill<ScrollbackDialog>([](auto& d) { d.messageRows->setText("1000"), d.filterRows->setText("199"); }),
     "Changing the scrollback size clears the pane. Go on?|Filter scrollback minimum is 200!",
     [](Settings& s) { s.Pane1Size = 1000; }},
    {"filter output without a name", Fill<FiltersDialog>([](auto& d) {
         QCOMPARE(On({d.outputFile, d.useDate, d.flushTime, d.commandFile, d.commandArgs}), "00000");
         d.outputFile->clear(), d.outputEnabled->setChecked(true);
     }), "You must select a filter file!", kSame},
    {"filter command without a name", Fill<FiltersDialog>([](auto& d) {
         d.outputEnabled->setChecked(true), d.useDate->setChecked(true), d.commandEnabled->setChecked(true);
         QCOMPARE(On({d.outputFile, d.useDate, d.flushTime, d.commandFile, d.commandArgs}), "01011");
     }), "You must select a command file!", kSame},
    // A command is read: an Open chooser; Browse is enabled with its field.
    {"filter command chosen", Fill<FiltersDialog>([](auto& d) {
         auto* browse = d.commandFile->parentWidget()->template findChild<QPushButton*>("browse");
         QCOMPARE(On({browse}), "0");
         d.commandEnabled->setChecked(true);
         QCOMPARE(Pick(d, d.commandFile, "/usr/local/bin/page.sh"), "Filter Command||Open|Command Files (*.sh)|All Files (*)|");
     }), "", [](Settings& s) { s.FilterCmdFileEnabled = 1, s.FilterCmdFile = "/usr/local/bin/page.sh", s.FilterFlushTime = 5; }},
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

}  // namespace

class DesktopTest : public QObject {
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
        if (!refused) dialog->cancel->click();
        QCOMPARE(host.CurrentSettings(), Start());
        QCOMPARE(Answered([&] { dialog->ok->click(); }), c.refused);
        QCOMPARE(dialog->result() == QDialog::Accepted, !refused);
        Settings want = Start();
        c.want(want);
        QCOMPARE(host.CurrentSettings(), want);
        QCOMPARE(host.saves, refused ? 0 : 1);
        if (!refused) QCOMPARE(host.Saved(), want);
    }

    // Add, Edit and Delete act on the live table at once, through the
    // Add/Edit Filter dialog; Cancel keeps them.
    void filterTable() {
        Settings s;
        s.Filters.assign(kMaxFilters - 3, FilterRecord{FilterType::Pocsag, "1234567", 0, "Fire", "", 0, 0, 0});
        s.Filters[0].function = 2, s.Filters[0].baud = 3, s.Filters[0].command = 1;
        TestHost host(s);
        FiltersDialog dialog(host);
        const std::vector<FilterRecord>& filters = host.CurrentSettings().Filters;
        const auto click = [](QPushButton* button, bool accept, const std::function<void(QDialog&)>& fill = {}) {
            return Answered([button] { button->click(); }, accept, fill);
        };
        // The first filter is selected on opening; the question shows its whole line.
        QCOMPARE(click(dialog.remove, false), "Delete POCSAG | Fire | 1234567 | 2 | 512 | CMD?");
        dialog.list->clearSelection();
        QCOMPARE(click(dialog.edit, false) + click(dialog.remove, false),
                 "You must select a filter to edit!You must select a filter to delete!");
        dialog.list->setCurrentRow(0);
        // Editing: the type stays, the record's function and baud show;
        // Reject empties the label and command and gives them back.
        QCOMPARE(click(dialog.edit, true, FillIn<FilterEditDialog>([](auto& d) {
            const std::initializer_list<QWidget*> all = {d.type, d.capcode, d.function, d.baud, d.label, d.command};
            QCOMPARE(On(all) + d.function->currentText() + d.baud->currentText(), "0111112512");
            d.reject->click();
            QCOMPARE(On(all) + d.label->text() + QString::number(d.command->isChecked()), "0111000");
            d.reject->click();
            QCOMPARE(d.label->text() + QString::number(d.command->isChecked()), "Fire1");
            d.capcode->setText("7654321");
        })), "");
        QCOMPARE(dialog.list->item(0)->text(), "POCSAG | Fire | 7654321 | 2 | 512 | CMD");
        // Add: the type list item (Text, POCSAG, short FLEX, long FLEX, GSC)
        // chosen after POCSAG with Reject on, the capcode or text typed;
        // which of capcode, function, baud, reject and label the type
        // enables, and that function and baud show a choice whatever the
        // type; the message on OK, or the line of what is stored.
        const struct { int type; const char *entry, *enabled, *message, *stored; } rows[] = {
            {4, "12", "11010AnyAny", "", "Golay | 000012 | Any | REJECT"},
            {3, "12?45", "10010AnyAny", "", "Long FLEX | 000012?45 | REJECT"},
            {1, "12a4", "11110AnyAny", "Invalid characters in capcode!", ""},
            {0, "FIRE", "00001AnyAny", "", "Text | \"FIRE\""},
            {0, "", "", "Error!  Max filters defined!", ""}};
        for (const auto& r : rows) {
            const std::size_t count = filters.size();
            QCOMPARE(click(dialog.add, true, FillIn<FilterEditDialog>([&r](auto& d) {
                         Choose(d.type, 1), d.reject->click(), Choose(d.type, r.type);
                         QCOMPARE(On({d.capcode, d.function, d.baud, d.reject, d.label}) + d.function->currentText() +
                                      d.baud->currentText(), r.enabled);
                         (r.type == 0 ? d.text : d.capcode)->setText(r.entry);
                     })),
                     r.message);
            QCOMPARE(Q(filters.size() == count ? std::string() : FormatFilterLine(filters.back())), r.stored);
        }
        // The last line: the new last line is selected.
        QCOMPARE(click(dialog.remove, true), "Delete Text | \"FIRE\"?");
        QCOMPARE(dialog.list->currentRow(), 198);
        dialog.cancel->click();
        QVERIFY(filters.size() == 199 && host.saves == 0);
    }

    void AltXAsksWhenConfirmExitIsSet() {
        const struct { int confirmExit; bool answerOk, stillOpen; } rows[] = {{1, false, true}, {1, true, false}, {0, true, false}};
        for (const auto& r : rows) {
            Fixture f(TestSettings(r.confirmExit));
            f.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&f.window));
            const auto altX = [&f] {
                QTest::keyClick(&f.window, Qt::Key_X, Qt::AltModifier);
                QTest::qWait(100);  // a window that closes late fails as well
            };
            QCOMPARE(Answered(altX, r.answerOk), r.confirmExit ? "Tolvane Will Now Exit" : "");
            QCOMPARE(f.window.isVisible(), r.stillOpen);
        }
    }

    // Step by step, taller, wider, narrower, a larger font: the panes re-flow
    // to the new row width with every line kept and the newest line in view.
    // (The size kept for the next start: daily_test.)
    void ResizingAndFontsKeepBothPanes() {
        const struct { QSize sizeChange; int fontHeight; } steps[] = {
            {{0, 120}, 0}, {{240, 0}, 0}, {{-260, 0}, 0}, {{0, 0}, -22}};
        QSize size(640, 420);
        Fixture f;
        for (int i = 0; i < 40; ++i) {
            const std::string tail(static_cast<std::size_t>(i * 7 % 150), static_cast<char>('a' + i % 26));
            testing::WritePage(f.output(), FilterType::Pocsag, "1234567", 3, 2,
                               "Line " + std::to_string(i) + (i % 5 == 0 ? " FIRE" : "") + tail);
        }
        const QStringList lower = PaneLines(f.lower()), upper = PaneLines(f.output().FilterPane);
        QVERIFY(lower.size() == 40 && upper.size() == 8);
        for (const auto& step : steps) {
            if (step.fontHeight != 0) {
                Settings taller = f.window.engine().settings();
                taller.Font.Height = step.fontHeight, f.window.engine().ApplySettings(taller);
                f.window.ApplyFont();
            }
            size += step.sizeChange;
            f.window.resize(f.window.size() + step.sizeChange);
            QTRY_COMPARE(f.window.frameGeometry().size(), size);
            const auto expected = Engine::LineWidthFor(size.width(), f.window.Cells().charWidth);
            QTRY_COMPARE(f.window.LineWidth(), expected);
            QVERIFY(f.lower().lineWidth == expected && PaneLines(f.lower()) == lower);
            QCOMPARE(PaneLines(f.output().FilterPane), upper);
            QCOMPARE(f.lower().VisibleRows(), f.window.LowerPane().Canvas()->height() / f.window.Cells().lineHeight);
            QCOMPARE(f.lower().TopRow(), std::max(0, static_cast<int>(f.lower().row) - f.lower().VisibleRows()));
        }
    }

    // One window through its panes' life: the copy commands, a mouse
    // selection, the scrolling keys and the wheel, the colours, the
    // splitter, and the title and status line as the engine sets them.
    void Panes() {
        Fixture f;
        for (const char* line : {"ALPHA one", "BRAVO two", "CHARLIE three"}) f.PutLine(line);
        const QPoint none(-1, -1);  // no selection
        const struct { QPoint press, release; Command command; const char* clipboard; int beeps; } copies[] = {
            {{0, 0}, {4, 1}, kCopy, "ALPHA\nBRAVO\n", 0},  // a drag copies the block
            {{8, 2}, {6, 1}, kCopy, "two\nE t\n", 0},      // dragged backwards
            {{2, 2}, {2, 2}, kCopy, "A\n", 0},             // a click copies one cell
            {{30, 0}, {32, 0}, kCopy, "\n", 0},            // past the text
            {none, none, kCopy, "unchanged", 1},           // nothing selected: a beep
            {none, none, kCopyLowerPane, "ALPHA one\nBRAVO two\nCHARLIE three\n", 0},
            {none, none, kCopyUpperPane, "unchanged", 0}};  // an empty pane
        const FontCells& c = f.window.Cells();  // a mouse points at the middle of a cell
        const auto cell = [&c](QPoint at) {
            return QPoint(at.x() * c.charWidth + c.charWidth / 2, at.y() * c.lineHeight + c.lineHeight / 2);
        };
        for (const auto& r : copies) {
            QGuiApplication::clipboard()->setText("unchanged");
            const int beeps = f.sound.beeps;
            if (r.press != none) {
                QWidget* canvas = f.window.LowerPane().Canvas();
                QTest::mousePress(canvas, Qt::LeftButton, {}, cell(r.press));
                QTest::mouseMove(canvas, cell(r.release));
                QTest::mouseRelease(canvas, Qt::LeftButton, {}, cell(r.release));
                QCOMPARE(f.window.CurrentSelection().shown, r.press != r.release);
            }
            f.window.RunCommand(r.command);
            QCOMPARE(QGuiApplication::clipboard()->text(), QString(r.clipboard));
            QVERIFY(f.sound.beeps - beeps == r.beeps && !f.window.CurrentSelection().active);
        }

        for (int i = 3; i < 80; ++i) f.PutLine("row " + std::to_string(i));
        const int page = f.lower().VisibleRows(), end = static_cast<int>(f.lower().row) - page;
        QVERIFY(page > 2 && end > 2 * page && f.lower().TopRow() == end);
        // Each key and the top row after it: a page and a line up and back down, the top, a page down from it, the end.
        const std::pair<Qt::Key, int> keys[] = {{Qt::Key_PageUp, end - page}, {Qt::Key_Up, end - page - 1},
                                                {Qt::Key_Down, end - page},   {Qt::Key_PageDown, end},
                                                {Qt::Key_Home, 0},            {Qt::Key_PageDown, page},
                                                {Qt::Key_End, end}};
        for (const auto& [key, top] : keys) {
            QTest::keyClick(&f.window, key);
            QCOMPARE(f.lower().TopRow(), top);
            QCOMPARE(f.window.LowerPane().ScrollBar()->value(), top);
        }
        QCOMPARE(f.window.LowerPane().ScrollBar()->maximum(), end);
        // The mouse wheel over the text scrolls it too.
        QWidget* canvas = f.window.LowerPane().Canvas();
        const QPoint middle(canvas->width() / 2, canvas->height() / 2);
        QWheelEvent up(middle, canvas->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &up);
        QVERIFY(f.lower().TopRow() < end && f.lower().TopRow() >= end - 5);

        // Colours: Cancel keeps them, even after changes and a reset to the
        // defaults; OK repaints in the new colour.
        const auto menu = [&f](int command, bool accept, const std::function<void(QDialog&)>& fill) {
            return Answered([&f, command] { f.window.RunCommand(command); }, accept, fill);
        };
        menu(kColors, false, FillIn<ColorsDialog>([](auto& d) {
            d.SetWorkColor(ColorClass::Background, kRed), d.ResetToDefaults();
            d.SetWorkColor(ColorClass::Capcode, kRed);
        }));
        QVERIFY(f.window.engine().settings().Color == Settings().Color);
        menu(kColors, true, FillIn<ColorsDialog>([](auto& d) { d.SetWorkColor(ColorClass::Background, kRed); }));
        QCOMPARE(QColor(canvas->grab().toImage().pixel(canvas->width() - 2, canvas->height() - 2)), QColor(200, 0, 0));

        PaneSplitter& splitter = f.window.Splitter();
        splitter.resize(splitter.width(), 401);  // 75 %
        QCOMPARE(f.window.UpperPane().height(), 101);
        QCOMPARE(f.window.LowerPane().height() + splitter.Handle()->height(), 300);
        splitter.resize(splitter.width(), 480);
        splitter.DragLowerPaneTo(120);  // the lower pane's top edge dragged to 120 pixels in 480
        QVERIFY(std::abs(f.window.engine().settings().Percent - 121.0 * 100.0 / 481.0) < 1e-9);
        QCOMPARE(splitter.UpperPaneHeight(), 360);
        splitter.DragLowerPaneTo(0);  // never below one row, even in a window made smaller after
        splitter.resize(splitter.width(), 240);
        QCOMPARE(f.window.LowerPane().height(), f.window.Cells().lineHeight);

        f.window.engine().Title().ShowDecodeMode(mode_code::Pocsag1200);
        QCOMPARE(f.window.windowTitle(), QString(" Tolvane - POCSAG 1200"));
        FileStatusSink& files = f.window.engine().World().fileStatus;
        files.FileFailed("pages.log", "No space left on device");
        QVERIFY(f.window.StatusText().contains("cannot write pages.log: No space left"));
        files.FileWorksAgain("pages.log");
        QVERIFY(f.window.StatusText().isEmpty());
    }

    // An IQ recording of two channels named on the command line: a receiver
    // each, its name in front of its pages. (An edge or audio recording, and
    // one that cannot be opened: daily_test.)
    void IqRecordingOnTheCommandLine() {
        QTemporaryDir dir;
        const QString band = Generated(dir, "band.cu8", {"--center", "929.5M", "929.6125M@pocsag:1200:1234567:3:alpha:On one",
                                                         "929.2625M@pocsag:1200:1654321:3:alpha:On two"});
        Settings iq = TestSettings();
        iq.Iq.SampleRate = 2400000, iq.Iq.CenterHz = 929.5e6;
        iq.Iq.Channels = {{929.6125e6, "ONE", 2}, {929.2625e6, "TWO", 2}};
        Fixture f(iq, {{}, band.toStdString(), {}, false});
        QTRY_VERIFY_WITH_TIMEOUT(PaneLines(f.lower()).size() == 2, 15000);
        QStringList lines = PaneLines(f.lower());
        lines.sort();
        QCOMPARE(lines, QStringList({"ONE {1234567} 4 1200 On one  ", "TWO {1654321} 4 1200 On two  "}));
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
