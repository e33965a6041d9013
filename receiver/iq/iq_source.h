// An edge source fed from IQ samples: the input (a recording or a live
// receiver) is read on the source's thread, the channel bank turns it into
// one sliced edge stream per channel, and each stream goes into its own
// edge ring. Attach() serves the first channel to the one ring a single
// receiver has; AttachChannels() gives every channel its ring.
//
// A live receiver that stops delivering is closed and opened again, after
// 1, 2, 4 ... up to 30 s; meanwhile Notice() says what happened.
//
// The whole band's spectrum is kept for a client to draw (Spectrum()).
// With two or more channels in the plan and a known centre frequency, the
// receiver's frequency error is also estimated from it (band_tuning.h),
// within +-100 ppm of the given ppm (0 when none is given), and every
// channel moved by it, once: drift after that is followed by each
// channel's own fine tuning (+-3 kHz). So that the first transmissions
// are not lost while the carriers show themselves, the channels start one
// second (at most 2.4 M samples) behind the input until the estimate is
// made or that second has passed; a later estimate moves the channels at
// once. A notice tells the estimate. A one-channel plan is decoded as it
// always was.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "receiver/audio_slicer.h"
#include "receiver/edge_source.h"
#include "receiver/iq/band_spectrum.h"
#include "receiver/iq/band_tuning.h"
#include "receiver/iq/channel_bank.h"
#include "receiver/iq/iq_input.h"
#include "receiver/source_thread.h"

namespace tolvane {

struct IqChannelPlan {
    double frequencyHz = 0;
    std::string name;
    int levels = 2;
};

// What a status line shows of one channel, as the bank last measured it.
struct ChannelReading {
    bool decoded = false;      // false: nobody decodes the channel (no values)
    bool squelchOpen = false;  // a carrier is there
    double carrierDb = -200;   // channel power, dB full scale
    double tuningHz = 0;       // the fine tuning's offset from the channel's frequency
};

struct IqSourceOptions {
    double sampleRate = 0;  // 0: from the input (a WAV header), else required
    double centreHz = 0;    // 0: from the input; with no frequency at all, channels are offsets from 0
    // Frequency error of the receiver that made the recording, in parts per
    // million (+: its oscillator runs high). A live device corrects it
    // itself.
    double ppm = 0;
    std::vector<IqChannelPlan> channels;
    // Slicing of 2- and 4-level channels (the sample rate is the bank's).
    SlicerOptions twoLevel;
    SlicerOptions fourLevel;
    bool paced = false;    // recordings: no faster than real time
};

class IqSource : public EdgeSource {
public:
    IqSource(std::unique_ptr<IqInput> input, IqSourceOptions options);
    ~IqSource() override;

    AttachStatus Attach(EdgeRing& ring) override;
    // One ring per channel, in the order of the options' channels.
    AttachStatus AttachChannels(const std::vector<EdgeRing*>& rings) override;
    std::size_t Channels() const override { return options_.channels.size(); }
    void Detach() override;
    bool Finished() const override { return thread_.Finished(); }
    std::string RuntimeError() const override { return thread_.Failure(); }
    // The estimate of the receiver's frequency error, when one is made.
    std::vector<std::string> TakeNotices() override { return thread_.TakeNotices(); }

    // The latest trouble with a live receiver (empty when it runs).
    std::string Notice() const;
    double SampleRate() const { return sampleRate_; }
    double AudioRate() const;
    // The band as it looks now, for drawing it with the channels marked
    // (any thread; on the one that attaches, no Attach at the same time).
    // False until the first picture.
    bool Spectrum(BandView& view) const;
    // Every channel of the plan, in its order, as last measured (any
    // thread); empty until the input is attached.
    void Readings(std::vector<ChannelReading>& readings) const;

private:
    void Run();
    bool Deliver();
    // The bank over `samples`, then its edges to the rings.
    bool Decode(std::span<const std::complex<float>> samples);
    // The held first second through the bank; false when stopped.
    bool ReleaseHeld();
    void EstimateError();
    // Hands the bank's latest readings over, unless a client is copying them.
    void PublishReadings();
    void SetNotice(std::string text);
    // Live: closes, waits with back-off and opens again; false when stopped.
    bool Reopen(const std::string& why);

    std::unique_ptr<IqInput> input_;
    IqSourceOptions options_;
    std::vector<EdgeRing*> rings_;
    std::unique_ptr<ChannelBank> bank_;
    std::vector<std::complex<float>> buffer_;
    double sampleRate_ = 0;
    double centreHz_ = 0;
    std::unique_ptr<BandSpectrum> spectrum_;
    std::unique_ptr<BandTuner> tuner_;      // until the error is estimated
    std::vector<double> planOffsetsHz_;     // every channel of the plan, as tuned now
    double nextEstimate_ = 0;               // seconds of signal
    std::vector<std::size_t> bankIndex_;    // per channel of the plan: its index in the bank, or SIZE_MAX
    mutable std::mutex readingsMutex_;
    std::vector<ChannelReading> readings_;  // guarded by readingsMutex_
    std::vector<std::complex<float>> held_;  // the start, while the channels wait for the estimate
    bool holding_ = false;
    bool opened_ = false;
    mutable std::mutex noticeMutex_;
    std::string notice_;
    SourceThread thread_;  // last: stopped before the members it uses go
};

// The channel plan's offset from the centre for a recording made with a
// receiver `ppm` off.
double ChannelOffsetHz(double frequencyHz, double centreHz, double ppm);

}  // namespace tolvane
