// Filters and Add/Edit Filter filled in as a user would.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "app/desktop/dialogs/filter_dialogs.h"
#include "support/dialog_test_support.h"

using namespace tolvane;
using namespace tolvane::desktop;
using namespace tolvane::desktop::testing;

namespace {

FilterRecord Pocsag(const char* capcode, const char* label = "") {
    FilterRecord r;
    r.type = FilterType::Pocsag;
    r.capcode = capcode;
    r.label = label;
    return r;
}

}  // namespace

class FilterDialogs : public QObject {
    Q_OBJECT
private slots:
    void editor_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("capcode");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored");
        QTest::newRow("GSC 12") << 4 << "12" << "" << "" << "000012";
        QTest::newRow("long FLEX 12?45") << 3 << "12?45" << "" << "" << "000012?45";
        QTest::newRow("? anywhere") << 2 << "?23456?" << "" << "" << "?23456?";
        QTest::newRow("letter") << 1 << "12a4" << "" << "Invalid characters in capcode!" << "";
        QTest::newRow("space") << 1 << "12 4" << "" << "Invalid characters in capcode!" << "";
        QTest::newRow("no capcode") << 1 << "" << "" << "You must enter a capcode!" << "";
        QTest::newRow("text without text") << 0 << "" << "" << "You must enter a text string!" << "";
        QTest::newRow("text") << 0 << "" << "FIRE" << "" << "";
    }
    void editor() {
        QFETCH(int, type);
        QFETCH(QString, capcode);
        QFETCH(QString, text);
        QFETCH(QString, message);
        FilterRecord record;
        FilterEditDialog dialog(record);
        Choose(dialog.type, type);
        dialog.capcode->setText(capcode);
        dialog.text->setText(text);
        MessageWatcher watcher;
        dialog.ok->click();
        QCOMPARE(watcher.texts, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(record.type, message.isEmpty() ? static_cast<FilterType>(type + 1) : FilterType::Unassigned);
        QTEST(QString::fromStdString(record.capcode), "stored");
    }

    void editorEnabling() {
        FilterRecord record = Pocsag("1234567", "Fire");
        record.function = 2, record.baud = 3, record.command = 1;
        FilterEditDialog dialog(record);
        auto states = [&] {
            return QList<bool>{dialog.type->isEnabled(),     dialog.capcode->isEnabled(), dialog.function->isEnabled(),
                               dialog.baud->isEnabled(),     dialog.reject->isEnabled(),  dialog.label->isEnabled(),
                               dialog.command->isEnabled()};
        };
        QCOMPARE(states(), (QList<bool>{false, true, true, true, true, true, true}));
        QCOMPARE(dialog.function->currentText() + dialog.baud->currentText(), QString("2512"));
        dialog.reject->click();
        QCOMPARE(states(), (QList<bool>{false, true, true, true, true, false, false}));
        QCOMPARE(dialog.label->text() + QString::number(dialog.command->isChecked()), QString("0"));
        dialog.reject->click();
        QCOMPARE(dialog.label->text() + QString::number(dialog.command->isChecked()), QString("Fire1"));

        FilterRecord added;
        FilterEditDialog add(added);
        QCOMPARE(add.type->currentText(), QString("Text"));
        Choose(add.type, 2);  // short FLEX: no function, no baud
        QCOMPARE((QList<bool>{add.capcode->isEnabled(), add.function->isEnabled(), add.baud->isEnabled(),
                              add.reject->isEnabled()}),
                 (QList<bool>{true, false, false, true}));
        add.reject->click();
        Choose(add.type, 0);
        QVERIFY(!add.reject->isChecked() && !add.reject->isEnabled() && add.label->isEnabled());
    }

    // Add, Edit and Delete act on the live table at once; Cancel keeps them.
    void table() {
        Settings s;
        s.Filters.assign(kMaxFilters - 2, Pocsag("0000001", "A"));
        TestHost host(s);
        FiltersDialog dialog(host);
        dialog.editFilter = [](FilterRecord& r) {
            r = Pocsag("7654321", r.label.empty() ? "Water" : "C");
            return true;
        };
        MessageWatcher watcher(false);
        dialog.edit->click();
        dialog.remove->click();
        dialog.list->setCurrentRow(0);
        dialog.remove->click();  // answered Cancel
        dialog.edit->click();
        watcher.answer = true;
        for (int i = 0; i < 3; ++i) dialog.add->click();  // the 201st is refused
        dialog.remove->click();  // the last line: the new last line is selected
        QCOMPARE(watcher.texts, (QStringList{"You must select a filter to edit!", "You must select a filter to delete!",
                                             "Delete POCSAG | A | 0000...?", "Error!  Max filters defined!",
                                             "Delete POCSAG | Water | ...?"}));
        QCOMPARE(host.Live().Filters.size(), std::size_t{199});
        QCOMPARE(host.Live().Filters[0].label, std::string("C"));
        QCOMPARE(dialog.list->item(0)->text(), QString("POCSAG | C | 7654321 | Any | Any"));
        QCOMPARE(dialog.list->currentRow(), 198);
        dialog.cancel->click();
        QCOMPARE(host.Live().Filters.size(), std::size_t{199});
        QCOMPARE(host.saves, 0);

        host.Live().Filters.resize(1);
        FiltersDialog last(host);
        last.list->setCurrentRow(0);
        last.remove->click();  // the only filter: nothing left to select
        QVERIFY(last.list->count() == 0 && last.list->selectedItems().isEmpty() && host.Live().Filters.empty());
    }

    void ok_data() {
        QTest::addColumn<bool>("output");
        QTest::addColumn<bool>("useDate");
        QTest::addColumn<bool>("command");
        QTest::addColumn<QString>("message");
        QTest::newRow("output without a name") << true << false << false << "You must select a filter file!";
        QTest::newRow("command without a name") << true << true << true << "You must select a command file!";
        QTest::newRow("date-named output") << true << true << false << "";
    }
    void ok() {
        QFETCH(bool, output);
        QFETCH(bool, useDate);
        QFETCH(bool, command);
        QFETCH(QString, message);
        Settings s;
        s.FilterFile = "old.flt";
        TestHost host(s);
        FiltersDialog dialog(host);
        QVERIFY(!dialog.outputFile->isEnabled() && !dialog.useDate->isEnabled() && !dialog.commandArgs->isEnabled());
        dialog.outputFile->clear();
        dialog.outputEnabled->setChecked(output);
        dialog.useDate->setChecked(useDate);
        dialog.commandEnabled->setChecked(command);
        QCOMPARE(dialog.outputFile->isEnabled(), output && !useDate);
        QCOMPARE(dialog.commandFile->isEnabled(), command);
        dialog.commandArgs->setText("%c %l");
        MessageWatcher watcher;
        dialog.ok->click();
        QCOMPARE(watcher.texts, message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty()) {
            const Settings saved = host.Saved();
            QCOMPARE(saved.FilterFile, std::string("old.flt"));  // an empty name leaves the file as it was
            QCOMPARE(saved.FilterFileUseDate, 1);
            QCOMPARE(saved.FilterCmdArgs, std::string("%c %l"));
            QCOMPARE(saved.FilterFlushTime, 5);
            QCOMPARE(host.reported, std::vector<unsigned>{static_cast<unsigned>(SettingsChange::Filters)});
        } else {
            QCOMPARE(host.saves, 0);
        }
    }
};

QTEST_MAIN(FilterDialogs)
#include "filter_dialogs_test.moc"
