// What the main window shows of an IQ band while one is the input: a part
// of the status line per channel (its lock, carrier level and fine tuning)
// and the band's spectrum in a dock below the panes. Refreshed on the
// window's tick from the input's own snapshots, without waiting for the
// thread that reads the band.
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "receiver/iq/iq_source.h"
#include "settings/channel_record.h"

class QDockWidget;
class QLabel;
class QMainWindow;

namespace tolvane::desktop {

class SpectrumWidget;

// One channel's part of the status line: "NYC1: FLEX 6400/4, -42 dB,
// +0.3 kHz" (fine tuning only while there is a carrier); the lock is a mode_code (below 0: no receiver decodes the
// channel).
QString ChannelStatusText(const std::string& label, int modeCode, const ChannelReading& reading);

class BandPanel {
public:
    // The status line parts and the dock go into `window`; a click on a
    // carrier calls `addChannel` with its frequency.
    BandPanel(QMainWindow& window, std::function<void(double hz)> addChannel);

    // One tick: `source` is the input when it is an IQ band (else nullptr,
    // and the panel hides), `lockOf` the mode each channel's receiver is
    // locked to.
    void Refresh(const IqSource* source, const std::vector<ChannelRecord>& channels,
                 const std::function<int(std::size_t channel)>& lockOf);
    // The View menu's spectrum item: shows or hides the dock.
    void ToggleSpectrum();

    SpectrumWidget& Spectrum() { return *spectrum_; }
    QDockWidget& Dock() { return *dock_; }
    // The status line parts, one per channel.
    QStringList StatusTexts() const;

private:
    QMainWindow& window_;
    QDockWidget* dock_;
    SpectrumWidget* spectrum_;
    std::vector<QLabel*> parts_;
    std::vector<ChannelReading> readings_;
    BandView view_;
    const IqSource* shown_ = nullptr;  // the input the dock was last shown for
    bool hiddenByUser_ = false;
};

}  // namespace tolvane::desktop
