// The channel bank: one IQ stream in, the discriminator audio of several
// pager channels out, each sliced into its own edge stream.
//
// Per channel:
//   1. translate and decimate in one step: a low-pass shifted to the
//      channel's offset (complex taps) runs only at the decimated instants
//      over the block of input samples that all channels share, and a
//      rotation at the decimated rate brings the channel to 0 Hz. No
//      channel touches every input sample more than its filter needs to;
//   2. the channel filter, decimating to the audio rate (24..48 kHz);
//   3. the FM discriminator, scaled so that the outer deviation of POCSAG
//      and FLEX (4.8 kHz) is 0.5 of full scale, as the audio slicer expects
//      of discriminator audio (4-level FLEX's inner 1.6 kHz is then 1/6);
//   4. the squelch: a carrier is a constant envelope, noise is not. The
//      spread of the power over 20 ms, relative to its mean, tells the two
//      apart whatever the gain. It opens as low as the decoders work (with
//      and without it POCSAG 1200 and FLEX 1600 decode at 3 dB carrier to
//      noise in 25 kHz, half the pages at 1 dB); a 5 ms window with a
//      stricter threshold lost 3 dB. The audio is delayed by the
//      squelch's window, so that opening lets the start of a transmission
//      through and closing keeps the noise after it out; a closed squelch
//      gives silence, which the slicer turns into no edges;
//   5. automatic fine tuning: while the squelch is open the tuning follows
//      the carrier, within +-3 kHz of the channel's frequency, and holds
//      it while the squelch is closed. The carrier is the mean frequency
//      while a transmission starts (a balanced bit sync), then the
//      midpoint of the outer levels: data need not be balanced;
//   6. the audio slicer, as for discriminator audio from a sound card.
//
// Everything is allocated when the bank is made; Process allocates nothing
// (the edge vectors only grow if a block brings more edges than reserved).
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "receiver/audio_slicer.h"
#include "receiver/edge_ring.h"

namespace tolvane {

struct ChannelTuning {
    double offsetHz = 0;  // channel frequency minus the centre (after any ppm correction)
    SlicerOptions slicer;  // sampleRate is set by the bank
};

struct BankOptions {
    double sampleRate = 2400000;
    std::size_t maxBlock = 16384;  // the most samples one Process call brings
    double afcRangeHz = 3000;
    double squelchSeconds = 0.02;
    // Open below, close above this spread of the power (variance over
    // squared mean: 0 for a steady carrier, 1 for noise alone).
    double squelchOpen = 0.7;
    double squelchClose = 0.85;
};

// The smallest input sample rate the bank works at.
inline constexpr double kMinIqSampleRate = 48000;

class IqChannel;

class ChannelBank {
public:
    ChannelBank(const BankOptions& options, const std::vector<ChannelTuning>& channels);
    ~ChannelBank();
    ChannelBank(const ChannelBank&) = delete;
    ChannelBank& operator=(const ChannelBank&) = delete;

    // Runs every channel over `samples` (at most maxBlock), appending each
    // channel's complete edges to Edges(i).
    void Process(std::span<const std::complex<float>> samples);
    // The end of the stream: every channel's last state.
    void Flush();
    // Moves every channel by `hz` (the receiver's frequency error, found
    // after the bank was made); each channel's fine tuning starts again
    // from there.
    void Shift(double hz);

    std::size_t Size() const { return channels_.size(); }
    std::vector<EdgeEntry>& Edges(std::size_t channel);
    AudioSlicer& Slicer(std::size_t channel);
    double AudioRate() const { return audioRate_; }

    // What a status line shows of a channel.
    bool SquelchOpen(std::size_t channel) const;
    double TuningOffsetHz(std::size_t channel) const;  // fine tuning applied, Hz
    double CarrierDb(std::size_t channel) const;         // channel power, dB full scale

    // The discriminator audio of the last block (after the squelch), for
    // tests and a future scope.
    std::span<const float> LastAudio(std::size_t channel) const;

private:
    BankOptions options_;
    std::size_t decim1_ = 1;
    std::size_t decim2_ = 2;
    double audioRate_ = 0;
    std::size_t taps_ = 0;     // stage-1 length, a multiple of 8
    std::vector<float> re_;    // history (taps_ - 1) then the block
    std::vector<float> im_;
    std::size_t next_ = 0;     // index in re_/im_ of the newest sample of the next stage-1 output
    std::vector<std::unique_ptr<IqChannel>> channels_;
};

}  // namespace tolvane
