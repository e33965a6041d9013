// The receiver's frequency error, found from the band's spectrum: cheap
// dongles are tens of ppm off (40 ppm at 930 MHz is 37 kHz, more than a
// channel spacing), so a channel tuned where the plan says may hear its
// neighbour or nothing.
//
// Every carrier seen in the spectrum (a stretch of bins standing out of the
// noise floor, the two or four tones of one FSK transmitter joined) is a
// candidate for every channel of the plan; each pairing proposes a shift,
// and a shift counts the channels that find a carrier where it puts them.
// The shift is taken only when the evidence is clear:
//   - at least two channels of the plan find their carrier there (one
//     carrier cannot be told from a neighbour outside the plan, so a
//     one-channel plan is never moved);
//   - no other shift, farther than the carriers' own spread, does as well
//     (a band full of carriers on one raster fits many shifts);
//   - it lies within the range asked for.
// Channels that are silent and carriers that are not in the plan (a strong
// neighbour, the dongle's own spike at 0 Hz) neither help nor hurt.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace tolvane {

struct BandShift {
    double hz = 0;             // where the carriers are, minus where the plan put them
    std::size_t carriers = 0;  // channels of the plan whose carrier lines up at that shift
};

class BandTuner {
public:
    // `offsetsHz`: where the plan's channels are tuned, from the centre;
    // the spectrum has `bins` bins of `binHz`, -bins/2 * binHz first;
    // shifts up to +-rangeHz are looked for.
    BandTuner(std::vector<double> offsetsHz, double binHz, std::size_t bins, double rangeHz);

    // From the loudest each bin has been (linear power), the shift that
    // lines the plan up with the carriers, when the evidence is clear.
    // Allocates nothing.
    std::optional<BandShift> Estimate(std::span<const float> peakPower);

private:
    // Whether a carrier lies within the tolerance of `hz`; its offset if so.
    std::optional<double> CarrierNear(double hz) const;
    std::size_t CountAt(double shiftHz) const;

    std::vector<double> offsets_;
    double binHz_;
    double rangeHz_;
    double toleranceHz_;
    std::vector<float> sorted_;     // scratch for the noise floor
    std::vector<double> carriers_;  // offsets from the centre, ascending
};

}  // namespace tolvane
