// The desktop program's real widgets, driven offscreen: title, exit,
// resizing, scrolling, selection and the clipboard commands, the splitter,
// colours, font, and a recording given as input.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/desktop/colors_dialog.h"
#include "app/desktop/main_window.h"
#include "support/fake_world.h"

using namespace tolvane;
using namespace tolvane::desktop;

namespace {

// The pane's completed rows joined back into lines (a full row continues
// on the next one).
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

void PutLine(Output& output, const std::string& text) {
    output.PaneSetColor(output.MessagePane, ColorClass::Alphanumeric);
    output.PanePutText(output.MessagePane, text);
    output.PaneEndLine(output.MessagePane);
}

Settings TestSettings() {
    Settings s;
    s.xPos = 10;
    s.yPos = 10;
    s.xSize = 640;
    s.ySize = 420;
    s.ConfirmExit = 0;
    s.Timestamp = 0;
    FilterRecord fire;
    fire.type = FilterType::Text;
    fire.label = "Fire";
    fire.text = "FIRE";
    s.Filters.push_back(fire);
    return s;
}

// Answers the next modal dialog (OK or Cancel) as soon as it is up.
class ModalAnswer : public QObject {
public:
    explicit ModalAnswer(bool accept, std::function<void(QDialog&)> before = {})
        : accept_(accept), before_(std::move(before)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            ++answered;
            if (before_) before_(*dialog);
            if (!accept_) {
                dialog->reject();
            } else if (auto* box = dialog->findChild<QDialogButtonBox*>(); box && box->button(QDialogButtonBox::Ok)) {
                box->button(QDialogButtonBox::Ok)->click();  // the dialog's own OK handling
            } else {
                dialog->accept();
            }
        });
        timer_.start();
    }
    int answered = 0;

private:
    bool accept_;
    std::function<void(QDialog&)> before_;
    QTimer timer_;
};

struct Fixture {
    explicit Fixture(const Settings& settings = TestSettings(), MainWindow::Options options = {})
        : window(settings, std::move(options), sound) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    Output& output() { return window.engine().output(); }
    testing::FakeSound sound;
    MainWindow window;
};

QPoint CellCenter(const MainWindow& window, int col, int row) {
    const FontCells& cells = window.Cells();
    return QPoint(col * cells.charWidth + cells.charWidth / 2, row * cells.lineHeight + cells.lineHeight / 2);
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void TitleFollowsModeAndFallsBackAfterTwentyTicks() {
        Fixture f;
        QCOMPARE(f.window.windowTitle(), QString(kAppTitleText));
        DecodeModeTitle& title = f.window.engine().Title();
        title.ShowDecodeMode(mode_code::Pocsag1200);
        QCOMPARE(f.window.windowTitle(), QString(" Tolvane - POCSAG 1200"));
        title.ShowDecodeMode(mode_code::Flex6400_4);
        title.FlexModeHold = kFlexModeHoldTicks;
        for (int t = 1; t < kFlexModeHoldTicks; ++t) f.window.Tick();
        QCOMPARE(f.window.windowTitle(), QString(" Tolvane - FLEX 6400 4 Level"));
        f.window.Tick();
        QCOMPARE(f.window.windowTitle(), QString(" Tolvane"));
    }

    void AltXAsksWhenConfirmExitIsSet_data() {
        QTest::addColumn<int>("confirmExit");
        QTest::addColumn<bool>("answerOk");
        QTest::addColumn<int>("asked");
        QTest::addColumn<bool>("stillOpen");
        QTest::newRow("cancel keeps the program") << 1 << false << 1 << true;
        QTest::newRow("ok closes") << 1 << true << 1 << false;
        QTest::newRow("no confirmation") << 0 << true << 0 << false;
    }
    void AltXAsksWhenConfirmExitIsSet() {
        QFETCH(int, confirmExit);
        QFETCH(bool, answerOk);
        QFETCH(int, asked);
        QFETCH(bool, stillOpen);
        Settings s = TestSettings();
        s.ConfirmExit = confirmExit;
        Fixture f(s);
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        ModalAnswer answer(answerOk);
        QTest::keyClick(&f.window, Qt::Key_X, Qt::AltModifier);
        QTRY_COMPARE(f.window.isVisible(), stillOpen);
        QTest::qWait(100);
        QCOMPARE(answer.answered, asked);
        QCOMPARE(f.window.isVisible(), stillOpen);
    }

    void ResizingKeepsBothPanes_data() {
        QTest::addColumn<int>("widthChange");
        QTest::addColumn<int>("heightChange");
        QTest::addColumn<bool>("minimise");
        QTest::newRow("minimise and restore") << 0 << 0 << true;
        QTest::newRow("taller") << 0 << 120 << false;
        QTest::newRow("wider re-flows") << 240 << 0 << false;
        QTest::newRow("narrower re-flows") << -260 << 0 << false;
    }
    void ResizingKeepsBothPanes() {
        QFETCH(int, widthChange);
        QFETCH(int, heightChange);
        QFETCH(bool, minimise);
        Fixture f;
        for (int i = 0; i < 40; ++i) {
            std::string text = "Line " + std::to_string(i) + (i % 5 == 0 ? " FIRE" : "");
            text += std::string(static_cast<std::size_t>(i * 7 % 150), static_cast<char>('a' + i % 26));
            testing::WritePage(f.output(), FilterType::Pocsag, "1234567", 3, 2, text);
        }
        const QStringList lower = PaneLines(f.output().MessagePane);
        const QStringList upper = PaneLines(f.output().FilterPane);
        QCOMPARE(lower.size(), 40);
        QCOMPARE(upper.size(), 8);
        QCOMPARE(f.window.frameGeometry().size(), QSize(640, 420));
        const std::uint32_t width = f.window.LineWidth();
        if (minimise) {
            f.window.showMinimized();
            QTest::qWait(50);
            f.window.showNormal();
        } else {
            f.window.resize(f.window.width() + widthChange, f.window.height() + heightChange);
            QTRY_COMPARE(f.window.frameGeometry().height(), 420 + heightChange);
        }
        const auto expected = Engine::LineWidthFor(640 + widthChange, f.window.Cells().charWidth);
        QTRY_COMPARE(f.window.LineWidth(), expected);
        QCOMPARE(widthChange == 0, expected == width);
        QCOMPARE(f.output().MessagePane.lineWidth, expected);
        QCOMPARE(PaneLines(f.output().MessagePane), lower);
        QCOMPARE(PaneLines(f.output().FilterPane), upper);
        // The view shows the newest line.
        const TextPane& pane = f.output().MessagePane;
        QCOMPARE(pane.TopRow(), std::max(0, static_cast<int>(pane.row) - pane.VisibleRows()));
    }

    void CursorKeysScrollTheLowerPane_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("fromEnd");  // rows above the end after the key; -1: the top
        QTest::newRow("Home") << int(Qt::Key_Home) << -1;
        QTest::newRow("End") << int(Qt::Key_End) << 0;
        QTest::newRow("Up") << int(Qt::Key_Up) << 1;
        QTest::newRow("Down at the end") << int(Qt::Key_Down) << 0;
        QTest::newRow("Page Up") << int(Qt::Key_PageUp) << 1000;  // a page: visibleRows
        QTest::newRow("Page Down at the end") << int(Qt::Key_PageDown) << 0;
    }
    void CursorKeysScrollTheLowerPane() {
        QFETCH(int, key);
        QFETCH(int, fromEnd);
        Fixture f;
        for (int i = 0; i < 60; ++i) PutLine(f.output(), "row " + std::to_string(i));
        const TextPane& pane = f.output().MessagePane;
        const int end = static_cast<int>(pane.row) - pane.VisibleRows();
        QVERIFY(pane.VisibleRows() > 2);
        QCOMPARE(pane.TopRow(), end);
        QTest::keyClick(&f.window, static_cast<Qt::Key>(key));
        const int expected = fromEnd < 0 ? 0 : end - (fromEnd == 1000 ? pane.VisibleRows() : fromEnd);
        QCOMPARE(pane.TopRow(), expected);
        QCOMPARE(f.window.LowerPane().ScrollBar()->value(), expected);
        QCOMPARE(f.window.LowerPane().ScrollBar()->maximum(), end);
    }

    void ClipboardCommands_data() {
        QTest::addColumn<QPoint>("pressCell");  // (-1, -1): no selection
        QTest::addColumn<QPoint>("releaseCell");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<int>("beeps");
        const QPoint none(-1, -1);
        QTest::newRow("drag copies the block") << QPoint(0, 0) << QPoint(4, 1) << int(kCopy) << "ALPHA\nBRAVO\n" << 0;
        QTest::newRow("drag backwards") << QPoint(8, 2) << QPoint(6, 1) << int(kCopy) << "two\nE t\n" << 0;
        QTest::newRow("click copies one cell") << QPoint(2, 2) << QPoint(2, 2) << int(kCopy) << "A\n" << 0;
        QTest::newRow("past the text") << QPoint(30, 0) << QPoint(32, 0) << int(kCopy) << "\n" << 0;
        QTest::newRow("copy without selection beeps") << none << none << int(kCopy) << "unchanged" << 1;
        QTest::newRow("copy lower pane") << none << none << int(kCopyLowerPane)
                                         << "ALPHA one\nBRAVO two\nCHARLIE three\n" << 0;
        QTest::newRow("copy empty upper pane") << none << none << int(kCopyUpperPane) << "unchanged" << 0;
    }
    void ClipboardCommands() {
        QFETCH(QPoint, pressCell);
        QFETCH(QPoint, releaseCell);
        QFETCH(int, command);
        QFETCH(QString, clipboard);
        QFETCH(int, beeps);
        Fixture f;
        for (const char* line : {"ALPHA one", "BRAVO two", "CHARLIE three"}) PutLine(f.output(), line);
        QGuiApplication::clipboard()->setText("unchanged");
        QWidget* canvas = f.window.LowerPane().Canvas();
        if (pressCell.x() >= 0) {
            QTest::mousePress(canvas, Qt::LeftButton, {}, CellCenter(f.window, pressCell.x(), pressCell.y()));
            QTest::mouseMove(canvas, CellCenter(f.window, releaseCell.x(), releaseCell.y()));
            QTest::mouseRelease(canvas, Qt::LeftButton, {}, CellCenter(f.window, releaseCell.x(), releaseCell.y()));
            const Selection& selection = f.window.CurrentSelection();
            QVERIFY(selection.active);
            QCOMPARE(selection.shown, pressCell != releaseCell);
        }
        f.window.RunCommand(command);
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
        QCOMPARE(f.sound.beeps, beeps);
        QVERIFY(!f.window.CurrentSelection().active);
    }

    void SplitterKeepsPercent() {
        Fixture f;
        PaneSplitter& splitter = f.window.Splitter();
        f.window.engine().settings().Percent = 75;
        splitter.resize(splitter.width(), 401);
        QCOMPARE(splitter.LowerPaneHeight(), 300);
        QCOMPARE(splitter.UpperPaneHeight(), 101);
        QCOMPARE(f.window.UpperPane().height(), 101);
        QCOMPARE(f.window.LowerPane().height() + splitter.Handle()->height(), 300);
        // A drag of the lower pane's top edge to 120 pixels in 480.
        splitter.resize(splitter.width(), 480);
        splitter.DragLowerPaneTo(120);
        QVERIFY(std::abs(f.window.engine().settings().Percent - 121.0 * 100.0 / 481.0) < 1e-9);
        QCOMPARE(splitter.LowerPaneHeight(), 120);
        QCOMPARE(splitter.UpperPaneHeight(), 360);
        // Never below one row.
        splitter.DragLowerPaneTo(0);
        QCOMPARE(f.window.LowerPane().height(), f.window.Cells().lineHeight);
    }

    void ColorsDialogChangesOnlyOnOk() {
        Fixture f;
        Settings& s = f.window.engine().settings();
        const auto before = s.Color;
        const std::uint32_t red = MakeColor(200, 0, 0);
        {
            ModalAnswer cancel(false, [&](QDialog& d) {
                auto& colors = dynamic_cast<ColorsDialog&>(d);
                colors.SetWorkColor(ColorClass::Background, red);
                colors.ResetToDefaults();
                colors.SetWorkColor(ColorClass::Capcode, red);
            });
            f.window.RunCommand(kColors);
            QCOMPARE(cancel.answered, 1);
        }
        QVERIFY(s.Color == before);
        {
            ModalAnswer ok(true, [&](QDialog& d) {
                dynamic_cast<ColorsDialog&>(d).SetWorkColor(ColorClass::Background, red);
            });
            f.window.RunCommand(kColors);
            QCOMPARE(ok.answered, 1);
        }
        QCOMPARE(s.ColorOf(ColorClass::Background), red);
        QCOMPARE(s.ColorOf(ColorClass::Misc), before[static_cast<std::size_t>(ColorClass::Misc) - 1]);
        // The panes repaint in the new background.
        QWidget* canvas = f.window.LowerPane().Canvas();
        const QImage image = canvas->grab().toImage();
        QCOMPARE(QColor(image.pixel(canvas->width() - 2, canvas->height() - 2)), QColor(200, 0, 0));
    }

    void ScrollbackDialogRemakesThePane() {
        Fixture f;
        ModalAnswer ok(true, [](QDialog& d) { d.findChildren<QLineEdit*>().at(0)->setText("300"); });
        f.window.RunCommand(kScrollback);
        QCOMPARE(ok.answered, 1);
        QCOMPARE(f.window.engine().settings().Pane2Size, 300u);
        QCOMPARE(f.output().FilterPane.capacity, 300u);
        QCOMPARE(f.output().MessagePane.capacity, 1000u);
    }

    void FontChangeKeepsContentsAndRecomputesLineWidth() {
        Fixture f;
        for (int i = 0; i < 12; ++i) {
            PutLine(f.output(), "Font line " + std::to_string(i) + std::string(static_cast<std::size_t>(i * 9), 'x'));
        }
        const QStringList lines = PaneLines(f.output().MessagePane);
        const FontCells before = f.window.Cells();
        f.window.engine().settings().Font.Height = -22;
        f.window.ApplyFont();
        const FontCells after = f.window.Cells();
        QVERIFY(after.charWidth > before.charWidth);
        QVERIFY(after.lineHeight > before.lineHeight);
        QCOMPARE(f.window.LineWidth(), Engine::LineWidthFor(640, after.charWidth));
        QCOMPARE(f.output().MessagePane.lineWidth, f.window.LineWidth());
        QCOMPARE(PaneLines(f.output().MessagePane), lines);
        QCOMPARE(f.output().MessagePane.VisibleRows(), f.window.LowerPane().Canvas()->height() / after.lineHeight);
    }

    void RecordingOnTheCommandLine() {
        QTemporaryDir dir;
        const QString recording = dir.filePath("pages.tve");
        QCOMPARE(QProcess::execute(TOLVANE_GEN, {"--gap", "0.3", "-o", recording,
                                                  "pocsag:1200:1234567:3:alpha:All quiet here",
                                                  "pocsag:1200:1654321:3:alpha:FIRE at the depot"}),
                 0);
        MainWindow::Options options;
        options.input = recording.toStdString();
        Fixture f(TestSettings(), options);
        QTRY_VERIFY_WITH_TIMEOUT(PaneLines(f.output().MessagePane).size() == 2, 15000);
        QCOMPARE(PaneLines(f.output().MessagePane),
                 QStringList({"{1234567} 4 1200 All quiet here", "{1654321} 4 1200 FIRE at the depot"}));
        const QStringList filtered = PaneLines(f.output().FilterPane);
        QCOMPARE(filtered.size(), 1);
        QVERIFY2(filtered[0].contains("Fire") && filtered[0].contains("FIRE at the depot"), qPrintable(filtered[0]));
        QTRY_VERIFY(!f.window.InputAttached());
    }

    void InputThatCannotBeOpenedLeavesTheProgramUp() {
        MainWindow::Options options;
        options.input = "/nonexistent/recording.tve";
        QString shown;
        ModalAnswer ok(true, [&](QDialog& d) {
            for (const QLabel* label : d.findChildren<QLabel*>()) shown += label->text();
        });
        Fixture f(TestSettings(), options);
        QTRY_COMPARE(ok.answered, 1);
        QVERIFY2(shown.contains("Cannot open the recording!"), qPrintable(shown));
        QVERIFY(!f.window.InputAttached());
        QVERIFY(f.window.isVisible());
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
