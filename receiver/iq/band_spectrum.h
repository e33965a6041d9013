// The power spectrum of the whole IQ band, as a picture of where the
// carriers are: a window and an FFT every few milliseconds, averaged per
// bin over about 0.2 s, plus the loudest that average has been in each bin
// (which is what tells where the channels really are, see band_tuning.h).
//
// The source thread calls Process() with every block it reads; a client on
// any other thread calls Snapshot() whenever it wants a picture. Process
// allocates nothing and never waits: it hands a new picture over only when
// no client is copying one out at that moment.
#pragma once

#include <complex>
#include <cstddef>
#include <mutex>
#include <span>
#include <vector>

namespace tolvane {

// One picture of the band for a client.
struct BandView {
    double centreHz = 0;    // the frequency the receiver is tuned to (0: not known)
    double sampleRate = 0;  // the band spans centreHz - sampleRate/2 .. centreHz + sampleRate/2
    // Power per bin in dB full scale (0 dB: a carrier at full scale), from
    // -sampleRate/2 (first) to just below +sampleRate/2 in steps of
    // sampleRate / db.size(); bin i is centred on
    // centreHz + (i - db.size()/2) * sampleRate / db.size(). Empty until
    // the first picture.
    std::vector<float> db;
    // Where each channel of the plan is tuned, as an offset from centreHz in
    // Hz (the channel's frequency moved by the receiver's frequency error,
    // given or estimated; without each channel's own fine tuning). Same
    // order as the plan; a channel nobody decodes is still there.
    std::vector<double> channelOffsetsHz;
    // The receiver's frequency error in use, ppm (+: it tunes high), and
    // whether it was estimated from the carriers rather than only given.
    double errorPpm = 0;
    bool errorEstimated = false;
};

class BandSpectrum {
public:
    // `bins`: a power of two, at least 64.
    BandSpectrum(double sampleRate, double centreHz, std::size_t bins);
    ~BandSpectrum();
    BandSpectrum(const BandSpectrum&) = delete;
    BandSpectrum& operator=(const BandSpectrum&) = delete;

    // The number of bins that gives this rate a resolution of about 600 Hz
    // (a few bins across a pager channel's 10-16 kHz).
    static std::size_t BinsFor(double sampleRate);

    // Source thread: the next samples of the band.
    void Process(std::span<const std::complex<float>> samples);
    // Source thread: what the next pictures say of the channels (sized as
    // the plan at the first call; later calls copy without allocating).
    void SetChannels(std::span<const double> offsetsHz, double errorPpm, bool estimated);
    // Source thread: the loudest average power each bin has had since the
    // start (linear, full scale 1), in the order of BandView::db.
    std::span<const float> PeakHold() const { return peak_; }
    // Source thread: seconds of signal seen so far.
    double Seconds() const { return static_cast<double>(samples_) / sampleRate_; }

    std::size_t Bins() const { return bins_; }
    double BinHz() const { return sampleRate_ / static_cast<double>(bins_); }

    // Any thread: the latest picture. False (and `view` unchanged) while
    // there is none yet.
    bool Snapshot(BandView& view) const;

private:
    void Publish();

    double sampleRate_;
    double centreHz_;
    std::size_t bins_;
    std::size_t stride_;  // samples from the start of one transform to the next
    float alpha_;         // the average's weight of each new transform
    std::vector<float> window_;
    std::vector<std::complex<float>> in_, out_;
    void* plan_ = nullptr;
    std::size_t filled_ = 0;   // samples of the next transform so far
    std::size_t skip_ = 0;     // samples still to pass before the next transform
    std::size_t samples_ = 0;  // since the start
    std::size_t transforms_ = 0;
    std::size_t publishEvery_;  // transforms between pictures
    std::vector<float> average_;
    std::vector<float> peak_;
    std::vector<double> channels_;
    double errorPpm_ = 0;
    bool estimated_ = false;

    mutable std::mutex published_;  // guards the members below
    bool havePicture_ = false;
    std::vector<float> pictureAverage_;  // linear; the client takes the logarithm
    std::vector<double> pictureChannels_;
    double pictureErrorPpm_ = 0;
    bool pictureEstimated_ = false;
};

}  // namespace tolvane
