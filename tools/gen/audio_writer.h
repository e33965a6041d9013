// FSK baseband audio from a symbol stream: what a receiver's discriminator
// tap gives for the transmission, for testing the audio input.
//
// Symbol 3 is the most positive deviation and symbol 0 the most negative
// (4 levels: 0..3 at -1, -1/3, +1/3, +1 of the deviation), so a POCSAG 1 bit
// is a negative sample and a FLEX or GSC 1 bit a positive one, the usual
// sense of discriminator audio. The waveform is integrated over each sample
// (edges keep their sub-sample position), passed through a low-pass like a
// receiver's audio stage, then noise, DC offset and clipping are applied.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tools/gen/symbol_stream.h"

namespace tolvane::gen {

struct AudioOptions {
    double sampleRate = 22050;
    int levels = 2;                  // 4: symbols 1 and 2 sit at +-1/3 of the deviation
    double deviation = 0.5;          // outer level, full scale = 1
    double filterHz = 0;             // discriminator low-pass; 0 = 4000 Hz, at most 0.4 * sampleRate
    // Signal-to-noise ratio of the written audio in dB: the power of the
    // filtered signal over the power of the filtered white noise.
    double snrDb = std::numeric_limits<double>::infinity();
    double dcOffset = 0;             // added after filtering, full scale = 1
    // First-order high-pass corner (Hz) after everything else, as an
    // AC-coupled sound-card input or a speaker output has; 0 = DC-coupled.
    double highpassHz = 0;
    double rateError = 0;            // +0.005 = transmitter clock 0.5 % fast
    // A second transmitter of a simulcast network, heard beside the first:
    // the same signal `simulcastDelayUs` later, `simulcastDb` weaker, its
    // carrier `simulcastOffsetHz` away. Where both arrive, the receiver's
    // discriminator follows their sum, not either one. Off while the
    // level is infinite.
    double simulcastDb = std::numeric_limits<double>::infinity();
    double simulcastDelayUs = 0;
    double simulcastOffsetHz = 0;
    bool invert = false;             // swap the levels
    double leadSeconds = 0.05;       // unmodulated carrier (0) before and after
    // The audio begins this far into the signal, with the receiver's
    // filter already settled on it: a recording started while the network
    // was sending opens on a full level, not on the carrier.
    double startSeconds = 0;
    std::uint32_t seed = 1;
};

// Second-order Butterworth low-pass (bilinear transform): the receiver's
// audio stage, applied to the signal and to the noise alike.
class LowPass {
public:
    LowPass(double cutoff, double sampleRate);
    double Step(double x);

private:
    double b0_, b1_, b2_, a1_, a2_;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// First-order high-pass (an RC coupling): an AC-coupled sound-card input
// or a scanner's speaker output. Starts settled at 0.
class HighPass {
public:
    HighPass(double corner, double sampleRate);
    double Step(double x);

private:
    double a_;
    double in_ = 0, out_ = 0;
};

// Renders the stream as samples (full scale +-1, clipped).
std::vector<float> SymbolsToAudio(const SymbolStream& stream, const AudioOptions& options);

// Output container, chosen from the file name: ".wav" (16-bit PCM), ".flac",
// ".s16" or ".raw" (signed 16-bit little-endian, no header).
enum class AudioFileFormat { Wav, Flac, RawS16, Unknown };
AudioFileFormat AudioFormatForPath(const std::string& path);

// Converts to signed 16-bit samples (rounded, clipped).
std::vector<std::int16_t> ToS16(const std::vector<float>& samples);

// Writes mono audio. Returns false and sets `error` when it cannot.
bool WriteAudioFile(const std::string& path, const std::vector<float>& samples, int sampleRate,
                    std::string& error);

}  // namespace tolvane::gen
