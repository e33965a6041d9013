// The IQ band as the receiver sees it: the averaged power per bin in dB,
// the channels marked at their frequencies with their names, and the
// frequency and level scales. A click near a carrier offers a channel
// there.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "receiver/iq/band_spectrum.h"

namespace tolvane::desktop {

// The radio frequency of a point `offsetHz` from the centre of the picture,
// the receiver's frequency error taken out (where a channel of that
// frequency is tuned).
double BandFrequency(const BandView& view, double offsetHz);

// The centre of the carrier nearest to `hz` (within a channel's width):
// the middle of the band it occupies, which for FSK lies between its
// tones; rounded to 100 Hz. Nothing when only noise is there.
std::optional<double> CarrierNear(const BandView& view, double hz);

class SpectrumWidget : public QWidget {
public:
    explicit SpectrumWidget(QWidget* parent = nullptr);

    // A new picture, and the names of the channels it marks (plan order).
    void Show(const BandView& view, std::vector<std::string> names);
    // Where a frequency lies across the widget, and back.
    int XOf(double hz) const;
    double FrequencyAt(int x) const;
    const BandView& View() const { return view_; }

    // Called with the carrier's frequency when the user clicks on one.
    std::function<void(double hz)> carrierClicked;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    BandView view_;
    std::vector<std::string> names_;
};

}  // namespace tolvane::desktop
