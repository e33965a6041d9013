// The desktop program's real widgets, driven offscreen: title, exit,
// resizing and fonts, scrolling, selection and the clipboard, the splitter,
// menu dialogs, the status line, and a recording given as input.
#include <QClipboard>
#include <QLineEdit>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/desktop/colors_dialog.h"
#include "app/desktop/main_window.h"
#include "display/line_joiner.h"
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
    LineJoiner joiner([&lines](const std::string& line) { lines << QString::fromLatin1(line.c_str()); });
    for (std::uint32_t r = 0; r < pane.row; ++r) joiner.RowCompleted(pane, r, pane.RowText(r).size() == pane.lineWidth);
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
        output().PanePutText(output().MessagePane, text);
        output().PaneEndLine(output().MessagePane);
    }
    testing::FakeSound sound;
    MainWindow window;
};

constexpr std::uint32_t kRed = MakeColor(200, 0, 0);

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void AltXAsksWhenConfirmExitIsSet() {
        const struct { int confirmExit; bool answerOk, stillOpen; } rows[] = {{1, false, true}, {1, true, false}, {0, true, false}};
        for (const auto& r : rows) {
            Fixture f(TestSettings(r.confirmExit));
            f.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&f.window));
            ModalAnswer answer(r.answerOk);
            QTest::keyClick(&f.window, Qt::Key_X, Qt::AltModifier);
            QTest::qWait(100);  // a window that closes late fails as well
            QCOMPARE(answer.texts, r.confirmExit ? QStringList{"Tolvane Will Now Exit"} : QStringList());
            QCOMPARE(f.window.isVisible(), r.stillOpen);
        }
    }

    // Step by step, taller, wider, narrower, a larger font: the panes re-flow
    // to the new row width with every line kept and the newest line in view;
    // the last size is saved when the program ends.
    void ResizingAndFontsKeepBothPanes() {
        const struct { QSize sizeChange; int fontHeight; } steps[] = {
            {{0, 120}, 0}, {{240, 0}, 0}, {{-260, 0}, 0}, {{0, 0}, -22}};
        QTemporaryDir dir;
        const std::string ini = dir.filePath("Tolvane.INI").toStdString();
        QSize size(640, 420);
        {
            Fixture f(TestSettings(), {ini, {}, {}, false});
            for (int i = 0; i < 40; ++i) {
                const std::string tail(static_cast<std::size_t>(i * 7 % 150), static_cast<char>('a' + i % 26));
                testing::WritePage(f.output(), FilterType::Pocsag, "1234567", 3, 2,
                                   "Line " + std::to_string(i) + (i % 5 == 0 ? " FIRE" : "") + tail);
            }
            const QStringList lower = PaneLines(f.lower()), upper = PaneLines(f.output().FilterPane);
            QVERIFY(lower.size() == 40 && upper.size() == 8);
            for (const auto& step : steps) {
                QCOMPARE(f.window.frameGeometry().size(), size);
                if (step.fontHeight != 0) {
                    f.window.engine().settings().Font.Height = step.fontHeight;
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
        Settings saved;
        LoadSettings(kAppName, ini, saved);
        QCOMPARE(QSize(saved.xSize, saved.ySize), size);
    }

    // One window through its panes' life: the copy commands, a mouse
    // selection, the scrolling keys, the colours, the splitter, the title and
    // status line as the engine sets them, and the scrollback.
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

        // Colours: Cancel keeps them, even after changes and a reset to the
        // defaults; OK repaints in the new colour.
        const auto menu = [&f](int command, bool accept, const std::function<void(QDialog&)>& fill) {
            ModalAnswer answer(accept, fill);
            f.window.RunCommand(command);
            return answer.answered;
        };
        QCOMPARE(menu(kColors, false, [](QDialog& d) {
                     auto& colors = dynamic_cast<ColorsDialog&>(d);
                     colors.SetWorkColor(ColorClass::Background, kRed), colors.ResetToDefaults();
                     colors.SetWorkColor(ColorClass::Capcode, kRed);
                 }), 1);
        QVERIFY(f.window.engine().settings().Color == Settings().Color);
        menu(kColors, true,
             [](QDialog& d) { dynamic_cast<ColorsDialog&>(d).SetWorkColor(ColorClass::Background, kRed); });
        QWidget* canvas = f.window.LowerPane().Canvas();
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
        QVERIFY(f.window.statusBar()->isHidden());
        // Scrollback remakes the panes.
        menu(kScrollback, true, [](QDialog& d) { d.findChildren<QLineEdit*>().at(0)->setText("300"); });
        QCOMPARE(f.output().FilterPane.capacity + f.output().MessagePane.capacity, 1300u);
    }

    // Pages from a recording named on the command line reach both panes;
    // one that cannot be opened is reported and leaves the program up.
    void RecordingOnTheCommandLine() {
        QTemporaryDir dir;
        const QString recording = dir.filePath("pages.tve");
        QCOMPARE(QProcess::execute(TOLVANE_GEN, {"--gap", "0.3", "-o", recording, "pocsag:1200:1234567:3:alpha:All quiet here",
                                                  "pocsag:1200:1654321:3:alpha:FIRE at the depot"}),
                 0);
        Fixture f(TestSettings(), {{}, recording.toStdString(), {}, false});
        QTRY_VERIFY_WITH_TIMEOUT(PaneLines(f.lower()).size() == 2, 15000);
        QCOMPARE(PaneLines(f.lower()), QStringList({"{1234567} 4 1200 All quiet here", "{1654321} 4 1200 FIRE at the depot"}));
        QCOMPARE(PaneLines(f.output().FilterPane), QStringList({"{1654321} 4 1200 Fire FIRE at the depot"}));
        QTRY_VERIFY(!f.window.InputAttached());

        ModalAnswer answer;
        Fixture missing(TestSettings(), {{}, "/nonexistent/recording.tve", {}, false});
        QTRY_COMPARE(answer.answered, 1);
        // The message is cut to the dialog's length.
        QCOMPARE(answer.texts,
                 QStringList({"Cannot open the recording! /nonexistent/recording.tve: No such file or director"}));
        QVERIFY(!missing.window.InputAttached() && missing.window.isVisible());
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
