// The IQ band's spectrum and the receiver's frequency error found from it,
// on their own: where a carrier shows in the picture, and which patterns
// of carriers move the channel plan and which must not.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "receiver/iq/band_spectrum.h"
#include "receiver/iq/band_tuning.h"

namespace tolvane {
namespace {

TEST(BandSpectrum, ACarrierShowsInItsBinAtItsLevel) {
    constexpr double kRate = 1024000;
    const std::size_t bins = BandSpectrum::BinsFor(kRate);
    ASSERT_EQ(bins, 2048u);
    for (const auto& [bin, db] : {std::pair{0L, 0.0}, {100L, -20.0}, {-1024L, -10.0}, {1023L, -30.0}}) {
        BandSpectrum spectrum(kRate, 466e6, bins);
        BandView view;
        EXPECT_FALSE(spectrum.Snapshot(view));
        std::vector<std::complex<float>> tone(static_cast<std::size_t>(kRate / 2));
        const double amplitude = std::pow(10.0, db / 20);
        for (long i = 0; i < static_cast<long>(tone.size()); ++i)  // a whole number of turns per transform
            tone[static_cast<std::size_t>(i)] = std::polar(static_cast<float>(amplitude), static_cast<float>(2 * std::numbers::pi * static_cast<double>((bin * i) % 2048) / 2048));
        spectrum.Process(tone);
        ASSERT_TRUE(spectrum.Snapshot(view));
        ASSERT_EQ(view.db.size(), bins);
        const std::size_t at = static_cast<std::size_t>(bin + 1024);
        EXPECT_NEAR(view.db[at], db, 0.1) << bin;
        EXPECT_LT(view.db[(at + 4) % bins], db - 80) << bin;  // the window keeps its skirts in
        EXPECT_NEAR(spectrum.PeakHold()[at], amplitude * amplitude, amplitude * amplitude * 0.03) << bin;
    }
}

// Peak-hold spectra drawn by hand: pager carriers as the two tones of FSK
// at +-4.8 kHz, 20 dB above the noise, or 30 dB for a strong neighbour.
TEST(BandTuner, LinesThePlanUpOnlyWhenTheCarriersSayOneShift) {
    constexpr double kBinHz = 600;
    constexpr std::size_t kBins = 4096;
    constexpr double kRange = 93000;
    struct Row {
        std::vector<double> plan;
        std::vector<std::pair<double, double>> carriers;  // offset, dB above the noise
        double shift;                                     // NaN: none
        std::size_t found;
    };
    const double none = std::nan("");
    const std::vector<double> plan = {-437500, -187500, 62500, 312500, 437500};
    const auto at = [](std::vector<double> offsets, double shift, double db) {
        std::vector<std::pair<double, double>> carriers;
        for (double offset : offsets) carriers.emplace_back(offset + shift, db);
        return carriers;
    };
    auto withNeighbour = at(plan, -37000, 20);
    withNeighbour.emplace_back(-187500 - 37000 + 25000, 30);
    auto raster = at({-100000, -75000, -50000, -25000, 0, 25000, 50000, 75000, 100000}, 3000, 20);
    const Row rows[] = {
        {plan, at(plan, -37000, 20), -37000, 5},
        {plan, withNeighbour, -37000, 5},
        {plan, at({plan[1], plan[3]}, 52000, 20), 52000, 2},             // three silent
        {plan, at({plan[1]}, -37000, 20), none, 0},                      // one carrier cannot tell
        {plan, {{plan[1] + 2000, 20}, {plan[1] + 25000, 30}}, none, 0},  // nor one beside a neighbour
        {{plan[1]}, at({plan[1]}, -20000, 20), none, 0},                 // a one-channel plan is never moved
        {{plan[1], plan[1]}, at({plan[1]}, -20000, 20), none, 0},        // nor one channel listed twice
        {{0, 25000, 50000}, raster, none, 0},                            // a full raster fits many shifts
        {plan, at(plan, 120000, 20), none, 0},                           // beyond the range
    };
    for (const Row& row : rows) {
        std::vector<float> peak(kBins, 1e-8f);
        for (const auto& [offset, db] : row.carriers)
            for (double tone : {-4800.0, 4800.0})
                for (long k = -1; k <= 1; ++k)
                    peak[static_cast<std::size_t>(std::lround((offset + tone) / kBinHz) + k + long{kBins / 2})] =
                        static_cast<float>(1e-8 * std::pow(10.0, db / 10));
        BandTuner tuner(row.plan, kBinHz, kBins, kRange);
        const std::optional<BandShift> shift = tuner.Estimate(peak);
        const std::string what = ::testing::PrintToString(row.carriers);
        ASSERT_EQ(shift.has_value(), !std::isnan(row.shift)) << what;
        if (!shift) continue;
        EXPECT_NEAR(shift->hz, row.shift, kBinHz) << what;
        EXPECT_EQ(shift->carriers, row.found) << what;
    }
}

}  // namespace
}  // namespace tolvane
