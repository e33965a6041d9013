// The desktop program in daily use, driven offscreen: the off-the-air alarm
// and its acknowledgement, settings changes while a recording plays, the
// window's place on the screens, and the status line of the input.
#include "app/desktop/dialogs/interface_dialog.h"
#include "app/desktop/dialogs/monitor_dialogs.h"
#include "app/desktop/dialogs/options_dialog.h"

#include "desktop_support.h"

using namespace tolvane;
using namespace tolvane::desktop;

namespace {

// Settings changes made through the menu while a recording plays: FLEX
// off, then 4-level and InvertData on and off again.
const std::pair<Command, std::function<void(QDialog&)>> kChanges[] = {
    {kOptions, FillIn<OptionsDialog>([](auto& d) { d.boxes[7]->click(); })},
    {kInterface, FillIn<InterfaceDialog>([](auto& d) { d.fourLevel->click(), d.invert->click(); })},
    {kInterface, FillIn<InterfaceDialog>([](auto& d) { d.fourLevel->click(), d.invert->click(); })},
};

}  // namespace

class DailyTest : public QObject {
    Q_OBJECT

private slots:
    // A silent watch period raises the alarm; the message's OK stops the
    // sound and starts a new period, after which silence raises a second
    // alarm. Keep Alive > OK with the ranges as they were silences a
    // sounding alarm and starts the period again too.
    void OffTheAirAlarmIsAcknowledged() {
        testing::FakeClock clock;  // 12:00
        Settings s = TestSettings();
        s.KeepAliveStart[0] = s.KeepAliveStop[0] = 13, s.KeepAliveTimeout[0] = 1;  // 12:00-12:59, 1 minute
        Fixture f(s, {{}, {}, {}, false, &clock});
        const KeepAlive& watch = f.window.engine().Watch();
        std::vector<std::string>& played = f.sound.played;
        const auto ticks = [&f](int count) {
            for (int i = 0; i < count; ++i) f.window.Tick();
        };
        ModalAnswer answer;  // presses OK on each message
        for (int alarm = 1; alarm <= 2; ++alarm) {
            clock.Advance(59), ticks(20);
            QVERIFY(!watch.AlarmOn() && played.empty());
            clock.Advance(2), ticks(30);  // tested once a second, then the sound once a second
            QVERIFY(watch.AlarmOn() && played.size() >= 2);
            QTRY_COMPARE(answer.texts.size(), alarm);
            QCOMPARE(answer.texts.back(), kOffTheAirText);
            QVERIFY(!watch.AlarmOn());
            played.clear(), ticks(30);
            QVERIFY(played.empty());
        }

        clock.Advance(61);
        for (int i = 0; i < 10; ++i) f.window.engine().Tick();  // the message waits in the engine
        QVERIFY(watch.AlarmOn());
        clock.Advance(5);
        QCOMPARE(Answered([&f] { f.window.RunCommand(kKeepAlive); }), "");
        QVERIFY(!watch.AlarmOn());
        QCOMPARE(watch.Deadline(), clock.now + 60);
    }

    void SettingsChangesLeaveTheRecordingPlaying_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("edges") << "tve";
        QTest::newRow("audio") << "wav";
    }
    // A decoder switch or the level count applies to the input as it runs:
    // an edge or audio recording goes on, and is not replayed from its start.
    void SettingsChangesLeaveTheRecordingPlaying() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString recording = Generated(dir, "pages." + kind, {"--gap", "0.5", "pocsag:1200:1000001:3:alpha:Page one ok",
                                                                    "pocsag:2400:1000002:3:alpha:Page two ok",
                                                                    "pocsag:1200:1000003:3:alpha:Page three!"});
        Fixture f(TestSettings(), {{}, recording.toStdString(), {}, false, nullptr});
        QTRY_VERIFY_WITH_TIMEOUT(PaneLines(f.lower()).size() == 1, 10000);
        for (const auto& [command, fill] : kChanges) {
            QCOMPARE(Answered([&f, command] { f.window.RunCommand(command); }, true, fill), "");
        }
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.InputAttached(), 15000);
        // A page on the air while the level count was changed may be lost;
        // the first is not shown again, and the last comes after the changes.
        const QStringList lines = PaneLines(f.lower());
        QCOMPARE(lines.first(), "{1000001} 4 1200 Page one ok");
        QCOMPARE(lines.count(lines.first()), 1);
        QCOMPARE(lines.last(), "{1000003} 4 1200 Page three!");
    }

    // The status line says what the input is and how it is doing, and on a
    // first run where to choose one; a recording that cannot be opened is
    // told in a message too (the path and the reason), the window left up.
    void StatusLineTellsTheInput() {
        QTemporaryDir dir;
        const QString recording = Generated(dir, "page.tve", {"--gap", "0.5", "pocsag:1200:1000001:3:alpha:Hello"});
        const QString none = "No input chosen: choose one in Setup > Interface";
        const QString missing = "Cannot open the recording! /nonexistent/page.tve: No such file or directory";
        const struct { QString input, first, last; } rows[] = {
            {"", none, none},
            {recording, "Playing recording: " + recording, "Recording ended: " + recording},
            {"/nonexistent/page.tve", missing, missing},
        };
        for (const auto& r : rows) {
            ModalAnswer answer;
            Fixture f(TestSettings(), {{}, r.input.toStdString(), {}, false, nullptr});
            QTRY_COMPARE(f.window.InputStatusText(), r.first);
            QTRY_COMPARE_WITH_TIMEOUT(f.window.InputStatusText(), r.last, 10000);
            QTRY_COMPARE(answer.texts, r.first == missing ? QStringList{missing} : QStringList());
            QVERIFY(f.window.statusBar()->isVisible() && !f.window.InputAttached());
        }
    }

    // A saved place on no screen, or partly off one, is moved onto the
    // screen that shows most of it (the first when none does), all of the
    // window inside; a window on a screen stays where it was.
    void WindowStaysOnAScreen() {
        constexpr int kMax = std::numeric_limits<int>::max();
        const struct { int xPos, yPos, xSize, ySize; QPoint expected; } rows[] = {
            {1700, 1000, 640, 420, {1280 - 640, 900 - 420}},  // below the right screen, mostly over none
            {-5000, 10, 640, 420, {0, 10}},
            {1200, 700, 640, 420, {1280, 768 - 420}},         // most of it over the right screen
            {1400, 100, 640, 420, {1400, 100}},               // on the right screen
            {10, 10, 3000, 2000, {0, 0}},                     // larger than any screen
            {kMax, -kMax, kMax, 0, {0, 0}},                   // a damaged file
        };
        for (const auto& r : rows) {
            Settings s = TestSettings();
            s.xPos = r.xPos, s.yPos = r.yPos, s.xSize = r.xSize, s.ySize = r.ySize;
            Fixture f(s);
            const QRect frame = f.window.frameGeometry();
            QCOMPARE(frame.topLeft(), r.expected);
            QVERIFY(f.window.screen()->availableGeometry().contains(frame));
        }
    }

    // What the user left is what the next start shows: the size after a
    // resize (not grown by the frame at each start), the place, and a
    // maximised window maximised, with its size before kept for later.
    void PlacementSurvivesRestarts() {
        QTemporaryDir dir;
        const std::string ini = dir.filePath("Tolvane.INI").toStdString();
        const auto start = [&ini] {
            Settings s = TestSettings();
            LoadSettings(kAppName, ini, s);
            return s;
        };
        SaveSettings(kAppName, ini, TestSettings());  // 640 x 420 at 10, 10: the outer size, as older files have it
        QPoint place(10, 10);
        const QSize inside(700, 400);
        for (int run = 0; run < 3; ++run) {
            Fixture f(start(), {ini, {}, {}, false, nullptr});
            QCOMPARE(f.window.frameGeometry().topLeft(), place);
            if (run == 0) {
                QCOMPARE(f.window.frameGeometry().size(), QSize(640, 420));
                f.window.resize(inside);
            }
            QTRY_COMPARE(f.window.size(), inside);
            place = f.window.frameGeometry().topLeft();  // where the platform has put it
            if (run == 2) f.window.showMaximized();
            QTRY_COMPARE(f.window.isMaximized(), run == 2);
        }
        Fixture f(start(), {ini, {}, {}, false, nullptr});
        QTRY_VERIFY(f.window.isMaximized());
        f.window.showNormal();
        QTRY_COMPARE(f.window.size(), inside);
        QCOMPARE(f.window.frameGeometry().topLeft(), place);
    }
};

QTEST_MAIN(DailyTest)
#include "daily_test.moc"
