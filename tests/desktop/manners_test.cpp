// The desktop program's manners, through the real window offscreen: the
// panes paint and hit-test on one cell grid at every font the font dialog
// offers, the font dialog's OK keeps an untouched font, and the smaller
// habits a Linux desktop user expects.
#include <QFontDatabase>
#include <QFontDialog>
#include <QStyle>

#include "app/desktop/dialogs/scrollback_dialog.h"

#include "desktop_support.h"

using namespace tolvane;
using namespace tolvane::desktop;

namespace {

// A font chosen by the rows of FontColumns(): none keeps the default record.
void FontColumns() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("pixels");
}
Settings FontSettings() {
    QFETCH(QString, family);
    QFETCH(QString, style);
    QFETCH(int, pixels);
    Settings s = TestSettings();
    if (family.isEmpty()) return s;
    s.Font.FaceName = family.toStdString();
    s.Font.Height = -pixels;
    const QFont font = QFontDatabase::font(family, style, 10);  // oblique styles count as italic too
    s.Font.Weight = font.weight();
    s.Font.Italic = font.italic() ? 1 : 0;
    return s;
}

// Columns [first, last] of one glyph's ink.
struct Ink {
    int first, last;
    int Middle() const { return (first + last) / 2; }
};

// The glyphs painted on the pane, left to right, found in a picture of it:
// runs of columns with anything but the background, and the middle of the
// rows they are on.
std::vector<Ink> PaintedGlyphs(const QImage& picture, QColor background, int& middleRow) {
    std::vector<bool> inkColumn(static_cast<std::size_t>(picture.width()));
    int top = picture.height(), bottom = -1;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixelColor(x, y) == background) continue;
            inkColumn[static_cast<std::size_t>(x)] = true;
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    middleRow = (top + bottom) / 2;
    std::vector<Ink> glyphs;
    for (int x = 0; x < picture.width(); ++x) {
        if (!inkColumn[static_cast<std::size_t>(x)]) continue;
        if (x > 0 && inkColumn[static_cast<std::size_t>(x - 1)]) {
            glyphs.back().last = x;
        } else {
            glyphs.push_back({x, x});
        }
    }
    return glyphs;
}

}  // namespace

class MannersTest : public QObject {
    Q_OBJECT

private slots:
    void cellGrid_data() {
        FontColumns();
        QTest::newRow("the default font record") << QString() << QString() << 0;
        for (const QString& family : QFontDatabase::families()) {
            if (!QFontDatabase::isFixedPitch(family)) continue;
            for (const QString& style : QFontDatabase::styles(family)) {
                // 11 px is the default; 19 px gave overlapping runs.
                for (int pixels : {8, 11, 13, 19, 26}) {
                    QTest::addRow("%s %s %dpx", qPrintable(family), qPrintable(style), pixels) << family << style << pixels;
                }
            }
        }
    }
    // A capcode run and a long text run of letters between blanks: a click
    // on each painted letter copies that letter, and a drag highlights and
    // copies the letters it was dragged over.
    void cellGrid() {
        const Settings s = FontSettings();
        Fixture f(s);
        const std::size_t width = std::min<std::size_t>(f.window.LineWidth() - 1, 70);
        std::string line;
        for (std::size_t i = 0; line.size() + 2 <= width; ++i) line += std::string(1, "AbCdEfGhIjKlMnOpQrStUvWxYz"[i % 26]) + " ";
        f.output().PaneSetColor(f.output().MessagePane, ColorClass::Capcode);
        f.output().PanePutText(f.output().MessagePane, line.substr(0, 4));
        f.output().PaneSetColor(f.output().MessagePane, ColorClass::Alphanumeric);
        f.output().PanePutText(f.output().MessagePane, line.substr(4));
        f.output().PaneEndLine(f.output().MessagePane);

        QWidget* canvas = f.window.LowerPane().Canvas();
        const QColor background = ToQColor(s.ColorOf(ColorClass::Background));
        const QImage plain = canvas->grab().toImage();
        int y = 0;
        const std::vector<Ink> glyphs = PaintedGlyphs(plain, background, y);
        QCOMPARE(glyphs.size(), line.size() / 2);
        const auto copied = [&f] {
            f.window.RunCommand(kCopy);
            return QGuiApplication::clipboard()->text();
        };
        for (std::size_t g = 0; g < glyphs.size(); ++g) {
            QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(glyphs[g].Middle(), y));
            QCOMPARE(copied(), QString(line[2 * g]) + "\n");
        }
        const std::size_t from = 1, to = glyphs.size() - 2;
        QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(glyphs[from].Middle(), y));
        QTest::mouseMove(canvas, QPoint(glyphs[to].Middle(), y));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(glyphs[to].Middle(), y));
        // The highlight inverts every pixel it covers.
        const QImage highlighted = canvas->grab().toImage();
        const auto lit = [&](const Ink& glyph) { return highlighted.pixel(glyph.Middle(), y) != plain.pixel(glyph.Middle(), y); };
        QVERIFY(lit(glyphs[from]) && lit(glyphs[to]) && !lit(glyphs[from - 1]) && !lit(glyphs[to + 1]));
        const QString dragged = QString::fromStdString(line.substr(2 * from, 2 * (to - from) + 1)) + "\n";
        // Under X11 the highlighted text can be pasted with the middle button.
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard->supportsSelection()) QCOMPARE(clipboard->text(QClipboard::Selection) + "\n", dragged);
        QCOMPARE(copied(), dragged);
    }

    void fontDialogOkKeepsTheFont_data() {
        FontColumns();
        QTest::newRow("the default, a face that is not installed") << "" << "" << 11;
        QTest::newRow("bold 19 px") << "DejaVu Sans Mono" << "Bold" << 19;
        QTest::newRow("oblique 13 px") << "DejaVu Sans Mono" << "Oblique" << 13;
    }
    // Setup > Display > Font, then OK without touching anything: the font,
    // on screen and in the settings file, is what it was.
    void fontDialogOkKeepsTheFont() {
        const Settings s = FontSettings();
        QTemporaryDir dir;
        const std::string ini = dir.filePath("Tolvane.INI").toStdString();
        Fixture f(s, {ini, {}, {}, false});
        const FontCells cells = f.window.Cells();
        // The dialog starts on the font the panes show.
        QString shown;
        QCOMPARE(Answered([&f] { f.window.RunCommand(kFont); }, true, FillIn<QFontDialog>([&shown](auto& d) {
                     shown = QFontInfo(d.currentFont()).styleName();
                 })),
                 "");
        QCOMPARE(shown, QFontInfo(FontFromRecord(s.Font)).styleName());
        QCOMPARE(f.window.engine().settings().Font, s.Font);
        QCOMPARE(f.window.Cells().charWidth, cells.charWidth);
        Settings saved;
        LoadSettings(kAppName, ini, saved);
        QCOMPARE(saved.Font, s.Font);
    }

    // A new scrollback size clears the panes, so it is asked first: Cancel
    // keeps the lines and the sizes, OK remakes the panes.
    void scrollbackAsksBeforeClearing() {
        Fixture f;
        f.PutLine("kept");
        const auto run = [&f](bool clear) {
            return Answered([&f] { f.window.RunCommand(kScrollback); }, true, [clear](QDialog& d) {
                if (auto* scrollback = dynamic_cast<ScrollbackDialog*>(&d)) scrollback->filterRows->setText("300");
                if (d.objectName() == "QuestionDialog" && !clear) d.reject();
            });
        };
        QCOMPARE(run(false), "Changing the scrollback size clears the pane. Go on?");
        QCOMPARE(PaneLines(f.lower()), QStringList{"kept"});
        QCOMPARE(f.output().FilterPane.capacity, 200u);
        QCOMPARE(run(true), "Changing the scrollback size clears the pane. Go on?");
        QCOMPARE(f.output().FilterPane.capacity, 300u);
    }

    // Errors show the error icon; About, which reports no error, the
    // information icon.
    void messageIcons() {
        Fixture f;
        const struct { Command command; QStyle::StandardPixmap icon; } rows[] = {
            {kAbout, QStyle::SP_MessageBoxInformation}, {kScrollback, QStyle::SP_MessageBoxCritical}};
        for (const auto& r : rows) {
            QImage shown, wanted;
            Answered([&f, &r] { f.window.RunCommand(r.command); }, true, [&](QDialog& d) {
                if (auto* scrollback = dynamic_cast<ScrollbackDialog*>(&d)) scrollback->messageRows->setText("999");
                if (d.objectName() != "MessageDialog") return;
                const QList<QLabel*> labels = d.findChildren<QLabel*>();
                for (QLabel* label : labels) {
                    if (!label->pixmap().isNull()) shown = label->pixmap().toImage();
                }
                const int size = d.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &d);
                wanted = d.style()->standardIcon(r.icon, nullptr, &d).pixmap(size).toImage();
            });
            QVERIFY(!wanted.isNull() && shown == wanted);
        }
    }
};

QTEST_MAIN(MannersTest)
#include "manners_test.moc"
