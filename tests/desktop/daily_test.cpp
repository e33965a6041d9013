// The desktop program in daily use, driven offscreen: the off-the-air alarm
// and its acknowledgement, settings changes while a recording plays, the
// window's place on the screens, and the status line of the input.
#include "app/desktop/dialogs/interface_dialog.h"
#include "app/desktop/dialogs/monitor_dialogs.h"
#include "app/desktop/dialogs/options_dialog.h"

#include "desktop_support.h"

using namespace tolvane;
using namespace tolvane::desktop;

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
};

QTEST_MAIN(DailyTest)
#include "daily_test.moc"
