// How pages read on the desktop: the Options dialog's choices for FLEX
// fragments, repeats and the national charset reach the settings and the
// file; a folded repeat shows in the status line. (The letters in the panes
// and the folding itself are the engine's: page_reading_test.)
#include <QDialog>
#include <QSpinBox>

#include "app/desktop/dialogs/filter_dialogs.h"
#include "app/desktop/dialogs/options_dialog.h"
#include "output/charset.h"
#include "desktop_support.h"

namespace tolvane::desktop {
namespace {

class PagesTest : public QObject {
    Q_OBJECT

private slots:
    void options_data() {
        QTest::addColumn<int>("join");
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("charset");
        QTest::newRow("pieces, a minute, German") << 0 << 60 << 1;
        QTest::newRow("Spanish") << 1 << 0 << 6;
    }
    // The dialog starts from the record and hands back what was chosen;
    // the saved file reads back the same.
    void options() {
        QFETCH(int, join);
        QFETCH(int, window);
        QFETCH(int, charset);
        Settings start;
        start.RepeatWindow = 15, start.Charset = 3;
        TestHost host(start);
        OptionsDialog dialog(host);
        QCOMPARE(dialog.boxes[9]->isChecked(), true);
        QCOMPARE(dialog.repeatWindow->value(), 15);
        QCOMPARE(dialog.charset->currentText(), QString("Swedish/Finnish"));
        QCOMPARE(On({dialog.boxes[9], dialog.repeatWindow, dialog.charset}), QString("111"));
        dialog.boxes[9]->setChecked(join != 0);
        dialog.repeatWindow->setValue(window);
        Choose(dialog.charset, charset);
        QCOMPARE(Answered([&] { dialog.ok->click(); }), QString());
        Settings want = start;
        want.JoinFragments = join, want.RepeatWindow = window, want.Charset = charset;
        QCOMPARE(host.CurrentSettings(), want);
        QCOMPARE(host.Saved(), want);
    }

    // A capcode filter may read its pages with a table of its own; a text
    // filter has none.
    void filterCharset() {
        FilterRecord record;
        FilterEditDialog dialog(record);
        QCOMPARE(On({dialog.charset}), QString("0"));
        Choose(dialog.type, 1);  // POCSAG
        dialog.capcode->setText("1234567");
        QCOMPARE(dialog.charset->itemText(0) + "|" + dialog.charset->itemText(2), QString("As Options|German"));
        Choose(dialog.charset, 1 + static_cast<int>(NationalCharset::German));
        QCOMPARE(Answered([&] { dialog.ok->click(); }), QString());
        QCOMPARE(record.charset, 1 + static_cast<int>(NationalCharset::German));
        QCOMPARE(FormatFilterLine(record), std::string("POCSAG | 1234567 | Any | Any | German"));

        FilterEditDialog edit(record);
        QCOMPARE(On({edit.charset}), QString("1"));
        QCOMPARE(edit.charset->currentIndex(), record.charset);
        FilterRecord text;
        FilterEditDialog other(text);
        Choose(other.type, 1), Choose(other.charset, 3), Choose(other.type, 0);
        QCOMPARE(On({other.charset}) + QString::number(other.charset->currentIndex()), QString("00"));
    }

    // The status line appears with the first folded repeat and counts on.
    void repeatsInStatusLine() {
        Settings s = TestSettings();
        s.RepeatWindow = 60;
        Fixture f(s);
        const auto page = [&f] { testing::WritePage(f.output(), FilterType::Pocsag, "1234567", 1, 2, "FIRE"); };
        page();
        f.window.Tick();
        QCOMPARE(f.window.RepeatsText(), QString());
        page();
        page();
        f.window.Tick();
        QCOMPARE(f.window.RepeatsText(), QString("Repeats folded: 2"));
    }
};

}  // namespace
}  // namespace tolvane::desktop

QTEST_MAIN(tolvane::desktop::PagesTest)
#include "pages_test.moc"
