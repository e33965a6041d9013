// The IQ band on the desktop: Setup > Channels edits the channel list and
// the band into the settings file, decoding going on meanwhile; a click on
// a carrier in the spectrum gives its frequency; the status line shows each
// channel's lock.
#include <QDockWidget>
#include <QTableWidget>

#include "app/desktop/band_panel.h"
#include "app/desktop/dialogs/channels_dialog.h"
#include "app/desktop/spectrum_widget.h"
#include "support/iq_loopback.h"
#include "desktop_support.h"

namespace tolvane::desktop {
namespace {

constexpr double kCentre = 466.0e6;
constexpr double kRate = 1024000;

// The band's spectrum a second into the carriers' transmissions, as a
// receiver `ppm` off records them.
BandView BandOf(const std::vector<std::pair<const char*, double>>& pages, double ppm) {
    std::vector<gen::IqCarrier> carriers;
    std::vector<double> offsets;
    for (const auto& [page, hz] : pages) {
        carriers.push_back(testing::Carrier({page}, hz));
        offsets.push_back(ChannelOffsetHz(hz, kCentre, ppm));
    }
    gen::IqOptions options;
    options.sampleRate = kRate, options.centreHz = kCentre, options.cnrDb = 20, options.ppm = ppm;
    BandSpectrum spectrum(kRate, kCentre, BandSpectrum::BinsFor(kRate));
    spectrum.SetChannels(offsets, ppm, ppm != 0);
    gen::GenerateIq(carriers, options, [&spectrum](const std::vector<std::complex<float>>& block) {
        if (spectrum.Seconds() < 1) spectrum.Process(block);
    });
    BandView view;
    spectrum.Snapshot(view);
    return view;
}

class ChannelsTest : public QObject {
    Q_OBJECT

private slots:
    // Added, changed and removed channels and the band's fields reach the
    // settings and the file in list order; k and M are read.
    void editedIntoTheFile() {
        Settings start = TestSettings();
        start.Iq.SampleRate = 2.4e6, start.Iq.CenterHz = 929.5e6;
        start.Iq.Channels = {{929.6125e6, "NYC1", 4, ChannelPolarity::Normal}, {929.2625e6, "NYC2", 2, ChannelPolarity::Auto}};
        TestHost host(start);
        ChannelsDialog d(host);
        QCOMPARE(d.list->rowCount(), 2);
        QCOMPARE(d.sampleRate->text() + " " + d.centre->text() + " " + d.gain->text(), QString("2.4M 929.5M "));
        d.frequency->setText(" 929937.5k"), d.name->setText("Hospital"), Choose(d.levels, 1), Choose(d.polarity, 2);
        d.add->click();
        d.list->selectRow(1);
        QCOMPARE(d.frequency->text() + " " + d.name->text(), QString("929.2625M NYC2"));
        d.name->setText("Bronx");
        d.change->click();
        d.list->selectRow(0);
        d.remove->click();
        d.ppm->setText("-12.5"), d.gain->setText("30");
        QCOMPARE(Answered([&] { d.ok->click(); }), QString());
        Settings want = start;
        want.Iq.Ppm = -12.5, want.Iq.GainDb = 30;
        want.Iq.Channels = {{929.2625e6, "Bronx", 2, ChannelPolarity::Auto},
                            {929.9375e6, "Hospital", 4, ChannelPolarity::Inverted}};
        QCOMPARE(host.CurrentSettings(), want);
        QCOMPARE(host.Saved(), want);
    }

    // What is refused says why, and leaves the settings as they were.
    void refusals() {
        Settings start = TestSettings();
        start.Iq.SampleRate = 2.4e6;
        start.Iq.Channels = {{929.6125e6, "NYC1", 2, ChannelPolarity::Auto}};
        const struct {
            QLineEdit* ChannelsDialog::*field;
            const char* text;
            bool add;
            QString message;
        } rows[] = {
            {&ChannelsDialog::frequency, "929.6X", true, "The frequency is a number of Hz, or of kHz or MHz with k or M after it (929.6125M)!"},
            {&ChannelsDialog::sampleRate, "10k", false, "The sample rate is from 48k to 100M samples/s, or empty to take it from the recording!"},
            {&ChannelsDialog::centre, "-5M", false, "The centre is a frequency (Hz, or with k or M), or empty to take it from the recording!"},
            {&ChannelsDialog::centre, "928M", false, "Channel NYC1 lies outside the IQ band!"},
            {&ChannelsDialog::ppm, "1001", false, "The frequency error is -1000 to 1000 ppm!"},
            {&ChannelsDialog::gain, "-3", false, "The gain is 0 to 100 dB, or empty for automatic gain!"},
        };
        for (const auto& row : rows) {
            TestHost host(start);
            ChannelsDialog d(host);
            (d.*row.field)->setText(row.text);
            QCOMPARE(Answered([&] { (row.add ? d.add : d.ok)->click(); }), row.message);
            QCOMPARE(host.saves, 0);
            QCOMPARE(d.list->rowCount(), 1);
        }
    }

    // The 100 ms tick goes on under the dialog: pages keep arriving.
    void decodingGoesOnUnderTheDialog() {
        QTemporaryDir dir;
        QStringList args = {"--gap", "0.4"};
        for (int i = 1; i <= 5; ++i) args << QString("pocsag:1200:100000%1:3:alpha:Page %1").arg(i);
        const QString recording = Generated(dir, "pages.tve", args);
        Fixture f(TestSettings(), {{}, recording.toStdString(), {}, false, nullptr});
        QTRY_VERIFY_WITH_TIMEOUT(PaneLines(f.lower()).size() == 1, 10000);
        qsizetype opened = -1, closed = -1;
        Answered([&f] { f.window.RunCommand(kChannels); }, false, FillIn<ChannelsDialog>([&](ChannelsDialog&) {
                     opened = PaneLines(f.lower()).size();
                     for (int i = 0; i < 100 && PaneLines(f.lower()).size() < 5; ++i) QTest::qWait(50);
                     closed = PaneLines(f.lower()).size();
                 }));
        QVERIFY2(opened >= 1 && opened < 5, qPrintable(QString::number(opened)));
        QCOMPARE(closed, 5);
    }

    // A click at a carrier's x offers a channel at its frequency (within a
    // kHz, a third of what the fine tuning follows), the receiver's error
    // taken out; a click on noise offers none (0).
    void clickOnACarrier() {
        const struct { const char* row; double clicked, ppm, carrier; } rows[] = {
            {"POCSAG 1200", 466.1e6, 0, 466.1e6}, {"FLEX 1600, beside it", 465.8153e6, 0, 465.8125e6},
            {"FLEX 6400/4", 466.3e6, 0, 466.3e6}, {"40 ppm off, told", 466.1e6, 40, 466.1e6}, {"noise", 465.7e6, 0, 0},
        };
        SpectrumWidget widget;
        widget.resize(1000, 200);
        widget.show();
        double offered = 0;
        widget.carrierClicked = [&offered](double hz) { offered = hz; };
        for (const auto& r : rows) {
            widget.Show(BandOf({{"pocsag:1200:1234567:3:alpha:Carrier one", 466.1e6},
                                {"flex:1600/2:1234567:0:alpha:Carrier two", 465.8125e6},
                                {"flex:6400/4:1234567:0:alpha:Carrier three", 466.3e6}},
                               r.ppm),
                        {"A", "B", "C"});
            offered = 0;
            QTest::mouseClick(&widget, Qt::LeftButton, {}, QPoint(widget.XOf(r.clicked), 100));
            QVERIFY2(std::abs(offered - r.carrier) <= 1000, qPrintable(QString("%1: %2").arg(r.row).arg(offered, 0, 'f', 0)));
        }
    }

    // After an IQ recording's page the channel's part of the status line
    // names the protocol and rate it is locked to and the carrier's level,
    // and the other channel's says it has no lock; a new list applies to
    // the recording at once.
    void statusShowsTheLock() {
        const struct { const char* page; int levels; QString lock; } rows[] = {
            {"pocsag:1200:1234567:3:alpha:On the air", 2, "NYC1: POCSAG 1200, "},
            {"flex:6400/4:1234567:0:alpha:On the air", 4, "NYC1: FLEX 6400/4, "},
        };
        for (const auto& r : rows) {
            QTemporaryDir dir;
            const QString path = dir.filePath("band.cu8");
            gen::IqOptions recording;
            recording.sampleRate = kRate, recording.centreHz = kCentre, recording.cnrDb = 25;
            std::string error;
            QVERIFY2(gen::WriteIqFile(path.toStdString(), {testing::Carrier({r.page}, 466.1e6)}, recording, error), error.c_str());
            Settings s = TestSettings();
            s.Iq.SampleRate = kRate, s.Iq.CenterHz = kCentre;
            s.Iq.Channels = {{466.1e6, "NYC1", r.levels, {}}, {465.9e6, "", 2, {}}};
            Fixture f(s, {{}, path.toStdString(), {}, false, nullptr});
            QTRY_VERIFY_WITH_TIMEOUT(PaneLines(f.lower()).size() == 1, 15000);
            const QStringList texts = f.window.Band().StatusTexts();
            QVERIFY2(texts.size() == 2 && QRegularExpression(QRegularExpression::escape(r.lock) + "-\\d+ dB").match(texts[0]).hasMatch(),
                     qPrintable(texts.join('|')));
            QVERIFY2(texts[1].startsWith("2: no lock, -"), qPrintable(texts[1]));
            QVERIFY(f.window.Band().Dock().isVisible());
            // A channel renamed: the recording named starts again with the new list.
            Answered([&f] { f.window.RunCommand(kChannels); }, true, FillIn<ChannelsDialog>([](ChannelsDialog& d) {
                         d.list->selectRow(1), d.name->setText("Spare"), d.change->click();
                     }));
            QTRY_VERIFY(f.window.Band().StatusTexts().value(1).startsWith("Spare: "));
            QVERIFY2(f.window.InputStatusText().endsWith(path), qPrintable(f.window.InputStatusText()));
        }
    }

    // The receiver's frequency error, found from two channels' carriers, is
    // news about the input: told after its state in the status line, not in
    // a box that stops the window until someone answers it.
    void frequencyErrorInTheStatusLine() {
        QTemporaryDir dir;
        const QString path = dir.filePath("band.cu8");
        gen::IqOptions recording;
        recording.sampleRate = kRate, recording.centreHz = kCentre, recording.cnrDb = 25, recording.ppm = 40;
        std::string error;
        QVERIFY2(gen::WriteIqFile(path.toStdString(),
                                  {testing::Carrier({"pocsag:1200:1234567:3:alpha:One"}, 466.1e6),
                                   testing::Carrier({"pocsag:1200:1234568:3:alpha:Two"}, 465.9e6)},
                                  recording, error),
                 error.c_str());
        Settings s = TestSettings();
        s.Iq.SampleRate = kRate, s.Iq.CenterHz = kCentre;
        s.Iq.Channels = {{466.1e6, "A", 2, {}}, {465.9e6, "B", 2, {}}};
        Fixture f(s, {{}, path.toStdString(), {}, false, nullptr});
        QTRY_VERIFY_WITH_TIMEOUT(PaneLines(f.lower()).size() == 2, 15000);
        QVERIFY2(f.window.InputStatusText().contains(" - Receiver frequency error: +40"), qPrintable(f.window.InputStatusText()));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

}  // namespace
}  // namespace tolvane::desktop

QTEST_MAIN(tolvane::desktop::ChannelsTest)
#include "channels_test.moc"
