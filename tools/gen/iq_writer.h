// IQ recordings of several pager channels, as an SDR dongle tuned between
// them would record them: each channel's transmissions frequency-modulated
// onto a carrier at its offset from the centre, the carrier keyed on for
// each transmission (with a short ramp, as a transmitter's power amplifier
// does) and off between them.
//
// The modulating signal is the discriminator audio waveform of the audio
// writer (the same symbol shaping and low-pass), scaled so that its outer
// level is the on-air deviation: POCSAG and FLEX +-4.8 kHz, 4-level FLEX
// +-4.8 and +-1.6 kHz, a POCSAG 1 bit below the carrier, a FLEX or GSC 1
// bit above it.
//
// Impairments: white noise at a carrier-to-noise ratio measured in 25 kHz
// (one channel), a receiver frequency error in ppm (every carrier lands
// centre * ppm lower when the receiver's oscillator runs high), and strong
// neighbours: carriers continuously modulated with random 1200 bit/s data.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "receiver/iq/iq_format.h"
#include "tools/gen/page_description.h"
#include "tools/gen/symbol_stream.h"

namespace tolvane::gen {

inline constexpr double kOnAirDeviationHz = 4800;
inline constexpr double kCnrBandwidthHz = 25000;

// One channel's transmissions: the symbol stream (gaps included) and the
// times its transmitter is keyed.
struct IqCarrier {
    double frequencyHz = 0;
    SymbolStream stream;
    std::vector<std::pair<double, double>> keyed;  // [start, end) in seconds; none: always on
};

struct IqNeighbour {
    double frequencyHz = 0;
    double levelDb = 30;  // above the channels' carriers
};

struct IqOptions {
    double sampleRate = 2400000;
    double centreHz = 0;
    IqFormat format = IqFormat::CU8;
    double cnrDb = std::numeric_limits<double>::infinity();
    double ppm = 0;  // receiver frequency error
    std::vector<IqNeighbour> neighbours;
    double rateError = 0;  // transmitter clock error, as for audio
    std::uint32_t seed = 1;
};

// Encodes `pages` (all on one channel) as transmissions separated by `gap`
// seconds of silence (also before the first and after the last), noting
// when the transmitter is on.
bool BuildCarrier(const std::vector<PageDescription>& pages, const EncodeOptions& encode, double gapSeconds,
                  IqCarrier& carrier, std::string& error);

// The recording, block by block, as complex samples at full scale +-1.
void GenerateIq(const std::vector<IqCarrier>& carriers, const IqOptions& options,
                const std::function<void(const std::vector<std::complex<float>>&)>& block);

// Writes the recording in options.format (WAV: two channels, 16-bit, with
// the centre frequency in an "auxi" chunk as SDR programs keep it).
bool WriteIqFile(const std::string& path, const std::vector<IqCarrier>& carriers, const IqOptions& options,
                 std::string& error);

}  // namespace tolvane::gen
