// How pages read on the desktop: a filter's own national charset, and a
// folded repeat in the status line. (The Options dialog's choices are rows
// of desktop_test; the letters in the panes and the folding itself are the
// engine's: page_reading_test.)
#include "app/desktop/dialogs/filter_dialogs.h"
#include "output/charset.h"
#include "desktop_support.h"

namespace tolvane::desktop {
namespace {

class PagesTest : public QObject {
    Q_OBJECT

private slots:
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
