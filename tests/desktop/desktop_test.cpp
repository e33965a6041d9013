// The desktop program's real widgets, driven offscreen: title, exit,
// resizing and fonts, scrolling, selection and the clipboard, the splitter,
// menu dialogs, the status line, and a recording given as input.
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/desktop/colors_dialog.h"
#include "app/desktop/main_window.h"
#include "settings/settings_file.h"
#include "support/fake_world.h"
#include "support/qt_test_helpers.h"

using namespace tolvane;
using namespace tolvane::desktop;
using tolvane::testing::ModalAnswer;

namespace {

// The pane's completed rows joined back into lines (a full row continues on the next one).
QStringList PaneLines(const TextPane& pane) {
    QStringList lines;
    QString pending;
    for (std::uint32_t r = 0; r < pane.row; ++r) {
        const std::string text = pane.RowText(r);
        pending += QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        if (text.size() == pane.lineWidth) continue;
        lines << pending;
        pending.clear();
    }
    return lines;
}

Settings TestSettings(int confirmExit = 0) {
    Settings s;
    s.xPos = s.yPos = 10, s.xSize = 640, s.ySize = 420, s.ConfirmExit = confirmExit, s.Timestamp = 0;
    FilterRecord fire;
    fire.type = FilterType::Text, fire.label = "Fire", fire.text = "FIRE";
    s.Filters.push_back(fire);
    return s;
}

struct Fixture {
    explicit Fixture(const Settings& settings = TestSettings(), MainWindow::Options options = {})
        : window(settings, std::move(options), sound) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    Output& output() { return window.engine().output(); }
    const TextPane& lower() { return output().MessagePane; }
    void PutLine(const std::string& text) {
        output().PaneSetColor(output().MessagePane, ColorClass::Alphanumeric);
        output().PanePutText(output().MessagePane, text);
        output().PaneEndLine(output().MessagePane);
    }
    QPoint Cell(QPoint cell) const {
        const FontCells& c = window.Cells();
        return {cell.x() * c.charWidth + c.charWidth / 2, cell.y() * c.lineHeight + c.lineHeight / 2};
    }
    testing::FakeSound sound;
    MainWindow window;
};

// A menu command whose dialog is filled in and answered, and what it must have done.
struct MenuCase {
    const char* name;
    int command;
    bool accept;
    std::function<void(QDialog&)> fill;
    std::function<void(Fixture&)> check;
};
constexpr std::uint32_t kRed = MakeColor(200, 0, 0);
const std::vector<MenuCase> kMenuCases = {
    {"scrollback remakes the upper pane", kScrollback, true,
     [](QDialog& d) { d.findChildren<QLineEdit*>().at(0)->setText("300"); },
     [](Fixture& f) { QCOMPARE(f.output().FilterPane.capacity + f.output().MessagePane.capacity, 1300u); }},
    {"colours OK repaints", kColors, true,
     [](QDialog& d) { dynamic_cast<ColorsDialog&>(d).SetWorkColor(ColorClass::Background, kRed); }, [](Fixture& f) {
         QCOMPARE(f.window.engine().settings().ColorOf(ColorClass::Background), kRed);
         QWidget* canvas = f.window.LowerPane().Canvas();
         QCOMPARE(QColor(canvas->grab().toImage().pixel(canvas->width() - 2, canvas->height() - 2)), QColor(200, 0, 0));
     }},
    {"colours Cancel", kColors, false, [](QDialog& d) {
         auto& colors = dynamic_cast<ColorsDialog&>(d);
         colors.SetWorkColor(ColorClass::Background, kRed), colors.ResetToDefaults();
         colors.SetWorkColor(ColorClass::Capcode, kRed);
     }, [](Fixture& f) { QVERIFY(f.window.engine().settings().Color == Settings().Color); }},
};

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void TitleShowsTheDecodeMode() {
        Fixture f;
        f.window.engine().Title().ShowDecodeMode(mode_code::Pocsag1200);
        QCOMPARE(f.window.windowTitle(), QString(" Tolvane - POCSAG 1200"));
    }

    void AltXAsksWhenConfirmExitIsSet() {
        const struct { int confirmExit; bool answerOk, stillOpen; } rows[] = {{1, false, true}, {1, true, false}, {0, true, false}};
        for (const auto& r : rows) {
            Fixture f(TestSettings(r.confirmExit));
            f.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&f.window));
            ModalAnswer answer(r.answerOk);
            QTest::keyClick(&f.window, Qt::Key_X, Qt::AltModifier);
            QTRY_COMPARE(f.window.isVisible(), r.stillOpen);
            QTest::qWait(100);
            QCOMPARE(answer.texts, r.confirmExit ? QStringList{"Tolvane Will Now Exit"} : QStringList());
            QCOMPARE(f.window.isVisible(), r.stillOpen);
        }
    }

    // The panes re-flow to the new row width with every line kept and the
    // newest line in view; the size is saved when the program ends.
    void ResizingAndFontsKeepBothPanes_data() {
        QTest::addColumn<QSize>("sizeChange");
        QTest::addColumn<int>("fontHeight");  // 0: unchanged; 1: minimise and restore
        QTest::newRow("minimise and restore") << QSize(0, 0) << 1;
        QTest::newRow("taller") << QSize(0, 120) << 0;
        QTest::newRow("wider") << QSize(240, 0) << 0;
        QTest::newRow("narrower") << QSize(-260, 0) << 0;
        QTest::newRow("larger font") << QSize(0, 0) << -22;
    }
    void ResizingAndFontsKeepBothPanes() {
        QFETCH(QSize, sizeChange);
        QFETCH(int, fontHeight);
        QTemporaryDir dir;
        const std::string ini = dir.filePath("Tolvane.INI").toStdString();
        {
            Fixture f(TestSettings(), {ini, {}, {}, false});
            for (int i = 0; i < 40; ++i) {
                const std::string tail(static_cast<std::size_t>(i * 7 % 150), static_cast<char>('a' + i % 26));
                testing::WritePage(f.output(), FilterType::Pocsag, "1234567", 3, 2,
                                   "Line " + std::to_string(i) + (i % 5 == 0 ? " FIRE" : "") + tail);
            }
            const QStringList lower = PaneLines(f.lower()), upper = PaneLines(f.output().FilterPane);
            QVERIFY(lower.size() == 40 && upper.size() == 8);
            QCOMPARE(f.window.frameGeometry().size(), QSize(640, 420));
            const std::uint32_t width = f.window.LineWidth();
            if (fontHeight == 1) {
                f.window.showMinimized();
                QTest::qWait(50);
                f.window.showNormal();
            } else if (fontHeight != 0) {
                f.window.engine().settings().Font.Height = fontHeight;
                f.window.ApplyFont();
            }
            f.window.resize(f.window.size() + sizeChange);
            QTRY_COMPARE(f.window.frameGeometry().size(), QSize(640, 420) + sizeChange);
            const auto expected = Engine::LineWidthFor(640 + sizeChange.width(), f.window.Cells().charWidth);
            QTRY_COMPARE(f.window.LineWidth(), expected);
            QCOMPARE(expected != width, sizeChange.width() != 0 || fontHeight < 0);
            QVERIFY(f.lower().lineWidth == expected && PaneLines(f.lower()) == lower);
            QCOMPARE(PaneLines(f.output().FilterPane), upper);
            QCOMPARE(f.lower().VisibleRows(), f.window.LowerPane().Canvas()->height() / f.window.Cells().lineHeight);
            QCOMPARE(f.lower().TopRow(), std::max(0, static_cast<int>(f.lower().row) - f.lower().VisibleRows()));
        }
        Settings saved;
        LoadSettings(kAppName, ini, saved);
        QCOMPARE(QSize(saved.xSize, saved.ySize), QSize(640, 420) + sizeChange);
    }

    void CursorKeysScrollTheLowerPane() {
        // Rows above the end after the key; -1: the top; 1000: a page.
        const std::pair<Qt::Key, int> rows[] = {{Qt::Key_Home, -1}, {Qt::Key_End, 0},    {Qt::Key_Up, 1},
                                                {Qt::Key_Down, 0},  {Qt::Key_PageUp, 1000}, {Qt::Key_PageDown, 0}};
        for (const auto& [key, fromEnd] : rows) {
            Fixture f;
            for (int i = 0; i < 60; ++i) f.PutLine("row " + std::to_string(i));
            const int page = f.lower().VisibleRows(), end = static_cast<int>(f.lower().row) - page;
            QVERIFY(page > 2 && f.lower().TopRow() == end);
            QTest::keyClick(&f.window, key);
            const int expected = fromEnd < 0 ? 0 : end - (fromEnd == 1000 ? page : fromEnd);
            QCOMPARE(f.lower().TopRow(), expected);
            QCOMPARE(f.window.LowerPane().ScrollBar()->value(), expected);
            QCOMPARE(f.window.LowerPane().ScrollBar()->maximum(), end);
        }
        // Away from the end, where the scroll limit cannot hide a short step.
        Fixture f;
        for (int i = 0; i < 60; ++i) f.PutLine("row " + std::to_string(i));
        QTest::keyClick(&f.window, Qt::Key_Home);
        QTest::keyClick(&f.window, Qt::Key_PageDown);
        QCOMPARE(f.lower().TopRow(), f.lower().VisibleRows());
    }

    void ClipboardCommands() {
        const QPoint none(-1, -1);  // no selection
        const struct { QPoint press, release; Command command; const char* clipboard; int beeps; } rows[] = {
            {{0, 0}, {4, 1}, kCopy, "ALPHA\nBRAVO\n", 0},  // a drag copies the block
            {{8, 2}, {6, 1}, kCopy, "two\nE t\n", 0},      // dragged backwards
            {{2, 2}, {2, 2}, kCopy, "A\n", 0},             // a click copies one cell
            {{30, 0}, {32, 0}, kCopy, "\n", 0},            // past the text
            {none, none, kCopy, "unchanged", 1},           // nothing selected: a beep
            {none, none, kCopyLowerPane, "ALPHA one\nBRAVO two\nCHARLIE three\n", 0},
            {none, none, kCopyUpperPane, "unchanged", 0}};  // an empty pane
        for (const auto& r : rows) {
            Fixture f;
            for (const char* line : {"ALPHA one", "BRAVO two", "CHARLIE three"}) f.PutLine(line);
            QGuiApplication::clipboard()->setText("unchanged");
            if (r.press != none) {
                QWidget* canvas = f.window.LowerPane().Canvas();
                QTest::mousePress(canvas, Qt::LeftButton, {}, f.Cell(r.press));
                QTest::mouseMove(canvas, f.Cell(r.release));
                QTest::mouseRelease(canvas, Qt::LeftButton, {}, f.Cell(r.release));
                QVERIFY(f.window.CurrentSelection().active);
                QCOMPARE(f.window.CurrentSelection().shown, r.press != r.release);
            }
            f.window.RunCommand(r.command);
            QCOMPARE(QGuiApplication::clipboard()->text(), QString(r.clipboard));
            QCOMPARE(f.sound.beeps, r.beeps);
            QVERIFY(!f.window.CurrentSelection().active);
        }
    }

    void SplitterKeepsPercent() {
        Fixture f;
        PaneSplitter& splitter = f.window.Splitter();
        splitter.resize(splitter.width(), 401);  // 75 %
        QCOMPARE(f.window.UpperPane().height(), 101);
        QCOMPARE(f.window.LowerPane().height() + splitter.Handle()->height(), 300);
        splitter.resize(splitter.width(), 480);
        splitter.DragLowerPaneTo(120);  // the lower pane's top edge dragged to 120 pixels in 480
        QVERIFY(std::abs(f.window.engine().settings().Percent - 121.0 * 100.0 / 481.0) < 1e-9);
        QCOMPARE(splitter.UpperPaneHeight(), 360);
        splitter.DragLowerPaneTo(0);  // never below one row
        QCOMPARE(f.window.LowerPane().height(), f.window.Cells().lineHeight);
    }

    void MenuDialogs_data() {
        tolvane::testing::AddCaseRows(kMenuCases);
    }
    void MenuDialogs() {
        const MenuCase& c = tolvane::testing::CurrentCase(kMenuCases);
        Fixture f;
        ModalAnswer answer(c.accept, c.fill);
        f.window.RunCommand(c.command);
        QCOMPARE(answer.answered, 1);
        c.check(f);
    }

    void UnwritableFileShowsInTheStatusLine() {
        Fixture f;
        FileStatusSink& files = f.window.engine().World().fileStatus;
        files.FileFailed("pages.log", "No space left on device");
        QVERIFY(f.window.statusBar()->isVisible());
        QVERIFY(f.window.statusBar()->findChild<QLabel*>()->text().contains("cannot write pages.log: No space left"));
        files.FileWorksAgain("pages.log");
        QVERIFY(!f.window.statusBar()->isVisible());
    }

    void RecordingOnTheCommandLine() {
        QTemporaryDir dir;
        const QString recording = dir.filePath("pages.tve");
        QCOMPARE(QProcess::execute(TOLVANE_GEN, {"--gap", "0.3", "-o", recording, "pocsag:1200:1234567:3:alpha:All quiet here",
                                                  "pocsag:1200:1654321:3:alpha:FIRE at the depot"}),
                 0);
        Fixture f(TestSettings(), {{}, recording.toStdString(), {}, false});
        QTRY_VERIFY_WITH_TIMEOUT(PaneLines(f.lower()).size() == 2, 15000);
        QCOMPARE(PaneLines(f.lower()), QStringList({"{1234567} 4 1200 All quiet here", "{1654321} 4 1200 FIRE at the depot"}));
        const QString filtered = PaneLines(f.output().FilterPane).join('\n');
        QVERIFY2(filtered.contains("Fire") && filtered.contains("FIRE at the depot") && !filtered.contains('\n'),
                 qPrintable(filtered));
        QTRY_VERIFY(!f.window.InputAttached());
    }

    void InputThatCannotBeOpenedLeavesTheProgramUp() {
        ModalAnswer answer;
        Fixture f(TestSettings(), {{}, "/nonexistent/recording.tve", {}, false});
        QTRY_COMPARE(answer.answered, 1);
        QVERIFY2(answer.texts.join("").contains("Cannot open the recording!"), qPrintable(answer.texts.join("")));
        QVERIFY(!f.window.InputAttached() && f.window.isVisible());
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
