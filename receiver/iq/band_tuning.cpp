#include "receiver/iq/band_tuning.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

namespace {

// A bin belongs to a carrier 6 dB above the noise floor.
constexpr float kAboveFloor = 4.0f;
// The tones of one FSK transmitter lie up to 9.6 kHz apart (+-4.8 kHz);
// stretches of bins closer than this are one carrier.
constexpr double kJoinHz = 9000;
// Wider than this is not one pager channel (two merged, or something else).
constexpr double kWidestCarrierHz = 24000;
// Where a carrier is, from its two edges: about a bin each way, and the
// edges of a weak carrier's tones.
constexpr double kToleranceHz = 1500;
// More carriers than this in view: too busy a band to tell.
constexpr std::size_t kMostCarriers = 256;

}  // namespace

BandTuner::BandTuner(std::vector<double> offsetsHz, double binHz, std::size_t bins, double rangeHz)
    : offsets_(std::move(offsetsHz)),
      binHz_(binHz),
      rangeHz_(rangeHz),
      toleranceHz_(std::max(kToleranceHz, 2 * binHz)) {
    // A place of the plan counts once: one carrier heard by two channels
    // listed at (nearly) the same frequency is still one carrier.
    std::sort(offsets_.begin(), offsets_.end());
    offsets_.erase(std::unique(offsets_.begin(), offsets_.end(),
                               [this](double a, double b) { return b - a <= toleranceHz_; }),
                   offsets_.end());
    sorted_.resize(bins);
    carriers_.reserve(kMostCarriers);
}

std::optional<double> BandTuner::CarrierNear(double hz) const {
    const auto found = std::lower_bound(carriers_.begin(), carriers_.end(), hz - toleranceHz_);
    if (found == carriers_.end() || *found > hz + toleranceHz_) return std::nullopt;
    return *found;
}

std::size_t BandTuner::CountAt(double shiftHz) const {
    std::size_t count = 0;
    for (double offset : offsets_)
        if (CarrierNear(offset + shiftHz)) ++count;
    return count;
}

std::optional<BandShift> BandTuner::Estimate(std::span<const float> peakPower) {
    const std::size_t bins = sorted_.size();
    if (peakPower.size() != bins || offsets_.size() < 2) return std::nullopt;
    // Most of a band is empty: its median is the noise floor.
    std::copy(peakPower.begin(), peakPower.end(), sorted_.begin());
    std::nth_element(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(bins / 2), sorted_.end());
    const float floor = sorted_[bins / 2];
    if (!(floor > 0)) return std::nullopt;
    const float threshold = floor * kAboveFloor;

    // The carriers: stretches above the threshold, joined across short gaps,
    // each placed halfway between its edges (the middle of its tones, whatever
    // the balance of the data sent).
    carriers_.clear();
    const auto join = static_cast<std::size_t>(kJoinHz / binHz_);
    const auto widest = static_cast<std::size_t>(kWidestCarrierHz / binHz_);
    const auto offsetOf = [&](double bin) { return (bin - static_cast<double>(bins / 2)) * binHz_; };
    std::size_t first = 0, last = 0;
    bool open = false;
    const auto close = [&]() {
        if (last - first <= widest) carriers_.push_back(offsetOf(static_cast<double>(first + last) / 2));
    };
    for (std::size_t i = 0; i < bins; ++i) {
        if (!(peakPower[i] > threshold)) continue;
        if (open && i - last <= join) {
            last = i;
            continue;
        }
        if (open) close();
        if (carriers_.size() == kMostCarriers) return std::nullopt;
        first = last = i;
        open = true;
    }
    if (open) close();

    // Every pairing of a carrier with a channel proposes a shift.
    std::size_t best = 0;
    double bestShift = 0;
    for (double carrier : carriers_) {
        for (double offset : offsets_) {
            const double shift = carrier - offset;
            if (std::fabs(shift) > rangeHz_) continue;
            const std::size_t count = CountAt(shift);
            if (count > best) {
                best = count;
                bestShift = shift;
            }
        }
    }
    if (best < 2) return std::nullopt;
    // Another shift that fits as many channels makes the evidence unclear.
    for (double carrier : carriers_) {
        for (double offset : offsets_) {
            const double shift = carrier - offset;
            if (std::fabs(shift) <= rangeHz_ && std::fabs(shift - bestShift) > 2 * toleranceHz_ &&
                CountAt(shift) == best)
                return std::nullopt;
        }
    }
    // The shift itself: the mean of what each lined-up carrier says.
    double sum = 0;
    for (double offset : offsets_)
        if (const std::optional<double> carrier = CarrierNear(offset + bestShift)) sum += *carrier - offset;
    return BandShift{sum / static_cast<double>(best), best};
}

}  // namespace tolvane
