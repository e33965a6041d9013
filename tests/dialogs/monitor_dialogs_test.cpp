// Statistics and Keep Alive filled in as a user would.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/desktop/dialogs/monitor_dialogs.h"
#include "support/dialog_test_support.h"

using namespace tolvane;
using namespace tolvane::desktop;
using namespace tolvane::desktop::testing;

using Range = std::array<int, 3>;  // start, stop, timeout list items
Q_DECLARE_METATYPE(Range)

class MonitorDialogs : public QObject {
    Q_OBJECT
private slots:
    void counts() {
        TestHost host;
        host.rig.engine->Stats().HourlyStats.numericMsgs[P1200] = 1234567;
        host.rig.engine->Stats().DailyStats.numericMsgs[P1200] = 1234567;
        host.rig.engine->Stats().HourlyStats.alphaMsgs[GOLAY] = 999999;
        host.rig.engine->Stats().DailyStats.alphaMsgs[GOLAY] = 10000000;
        StatisticsDialog dialog(host);
        QCOMPARE(dialog.counts[0][P1200]->text(), QString("******"));
        QCOMPARE(dialog.counts[2][P1200]->text(), QString("1234567"));
        QCOMPARE(dialog.counts[1][GOLAY]->text(), QString("999999"));
        QCOMPARE(dialog.counts[3][GOLAY]->text(), QString("******"));
        QCOMPARE(dialog.counts[1][F6400]->text(), QString("0"));
    }

    void statistics_data() {
        QTest::addColumn<bool>("text");
        QTest::addColumn<bool>("csv");
        QTest::addColumn<bool>("csvUseDate");
        QTest::addColumn<QString>("message");
        QTest::newRow("text file without a name") << true << false << false << "You must select a statistics file!";
        QTest::newRow("CSV file without a name") << false << true << false << "You must select a statistics file!";
        QTest::newRow("date-named CSV") << false << true << true << "";
        QTest::newRow("off, empty name stored") << false << false << false << "";
    }
    void statistics() {
        QFETCH(bool, text);
        QFETCH(bool, csv);
        QFETCH(bool, csvUseDate);
        QFETCH(QString, message);
        Settings s;
        s.StatFile = "old.st";
        TestHost host(s);
        StatisticsDialog dialog(host);
        QVERIFY(!dialog.textFile->isEnabled() && !dialog.textUseDate->isEnabled());
        dialog.textFile->clear();
        dialog.textEnabled->setChecked(text);
        dialog.csvEnabled->setChecked(csv);
        dialog.csvUseDate->setChecked(csvUseDate);
        QCOMPARE(dialog.csvFile->isEnabled(), csv && !csvUseDate);
        MessageWatcher watcher;
        dialog.ok->click();
        QCOMPARE(watcher.texts, message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty()) {
            const Settings saved = host.Saved();
            QCOMPARE(saved.StatFile, std::string());
            QCOMPARE(saved.StatCSVFileEnabled, csv);
            QCOMPARE(saved.StatCSVFileUseDate, csvUseDate);
            QCOMPARE(host.reported, std::vector<unsigned>{static_cast<unsigned>(SettingsChange::Statistics)});
        } else {
            QCOMPARE(host.Live().StatFile, std::string("old.st"));
        }
    }

    void keepAlive_data() {
        QTest::addColumn<Range>("range1");
        QTest::addColumn<Range>("range2");
        QTest::addColumn<Range>("range3");
        QTest::addColumn<QString>("message");
        const Range lateNight = {23, 2, 5};  // 10:00 pm to 1:59 am, 5 minutes
        const Range off = {0, 0, 0};
        QTest::newRow("range 1 past midnight") << lateNight << off << off << "";
        QTest::newRow("range 2 equal to range 1") << lateNight << lateNight << off << "Time ranges overlap!";
        QTest::newRow("range 3 meets range 1 at its stop") << lateNight << Range{4, 6, 1} << Range{2, 3, 1}
                                                           << "Time ranges overlap!";
        QTest::newRow("unwatched range still blocks") << Range{1, 24, 0} << Range{5, 5, 3} << off
                                                      << "Time ranges overlap!";
        QTest::newRow("range 1 covering the day") << Range{13, 12, 13} << off << off << "";
        QTest::newRow("a range without a stop is skipped") << lateNight << Range{23, 0, 2} << off << "";
    }
    void keepAlive() {
        QFETCH(Range, range1);
        QFETCH(Range, range2);
        QFETCH(Range, range3);
        QFETCH(QString, message);
        TestHost host;
        KeepAliveDialog dialog(host);
        const Range ranges[3] = {range1, range2, range3};
        for (std::size_t r = 0; r < 3; ++r) {
            for (std::size_t l = 0; l < 3; ++l) dialog.ranges[r][l]->setCurrentIndex(ranges[r][l]);
        }
        MessageWatcher watcher;
        dialog.ok->click();
        QCOMPARE(watcher.texts, message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty()) {
            const Settings saved = host.Saved();
            for (std::size_t r = 0; r < 3; ++r) {
                QCOMPARE((Range{saved.KeepAliveStart[r], saved.KeepAliveStop[r], saved.KeepAliveTimeout[r]}), ranges[r]);
            }
            QCOMPARE(host.reported, std::vector<unsigned>{static_cast<unsigned>(SettingsChange::KeepAlive)});
        } else {
            QCOMPARE(host.saves, 0);
        }
    }

    void keepAliveLists() {
        Settings s;
        s.KeepAliveStart[1] = 3, s.KeepAliveStop[1] = 4, s.KeepAliveTimeout[1] = 13;
        TestHost host(s);
        KeepAliveDialog dialog(host);
        QCOMPARE(dialog.ranges[1][0]->itemText(13), QString("12:00 pm"));
        QCOMPARE(dialog.ranges[1][1]->itemText(1), QString("12:59 am"));
        QCOMPARE(dialog.ranges[1][2]->currentText(), QString("30 minutes"));
        QCOMPARE(dialog.ranges[1][2]->itemText(1), QString("1 minute"));
        Choose(dialog.ranges[1][1], 0);  // Stop "Disabled" disables the range
        QCOMPARE(dialog.ranges[1][0]->currentIndex() + dialog.ranges[1][2]->currentIndex(), 0);

        QVERIFY(!dialog.commandFile->isEnabled() && !dialog.commandArgs->isEnabled());
        dialog.commandEnabled->click();
        QVERIFY(dialog.commandFile->isEnabled() && dialog.commandArgs->isEnabled());
        MessageWatcher watcher;
        dialog.ok->click();
        QCOMPARE(watcher.texts, QStringList{"You must select a command file!"});
    }
};

QTEST_MAIN(MonitorDialogs)
#include "monitor_dialogs_test.moc"
