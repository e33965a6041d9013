// Edge sources that slice discriminator audio: audio files (anything
// libsndfile reads), raw signed 16-bit little-endian mono from standard
// input or a file, and live capture from a sound card (PulseAudio, which
// PipeWire also serves).
//
// Each runs the slicer on its own thread. Recordings wait for room in the
// ring (no edge is lost, and the durations add up to the audio's length);
// live capture cannot wait, so a full ring counts an overrun.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "receiver/audio_slicer.h"
#include "receiver/edge_source.h"
#include "receiver/source_thread.h"

namespace tolvane {

// Sample rates in Hz that audio input may have (files, raw audio, --rate).
inline constexpr int kMinSampleRate = 1000;
inline constexpr int kMaxSampleRate = 1000000;

// The shared thread and slicing; subclasses open and read the audio.
class AudioSource : public EdgeSource {
public:
    AttachStatus Attach(EdgeRing& ring) final;
    void Detach() final;
    bool Finished() const final { return thread_.Finished(); }
    std::string RuntimeError() const final { return thread_.Failure(); }
    std::vector<std::string> TakeNotices() final { return thread_.TakeNotices(); }

    // The sample rate of the opened input (0 before Attach).
    double SampleRate() const { return sampleRate_; }
    // Recordings: hand the edges over no faster than the audio's own time.
    void SetPaced(bool paced) { paced_ = paced; }

protected:
    AudioSource(const SlicerOptions& options, bool live);

    // Opens the input and sets the sample rate.
    virtual AttachStatus Open(double& sampleRate) = 0;
    // Reads up to `capacity` mono samples (full scale +-1). Returns the
    // count, 0 at the end of the input, -1 on failure (with `error` set).
    // May return 0 samples only at the end; a read that waits must give up
    // within about 100 ms when `stop` is raised (returning 0 then is fine).
    virtual long Read(float* samples, std::size_t capacity, const std::atomic<bool>& stop, std::string& error) = 0;
    virtual void Close() = 0;
    // Every subclass destructor calls Detach() (Close is theirs).

    // From Read: one line for the user that does not stop the input.
    void Tell(std::string notice) { thread_.Tell(std::move(notice)); }

private:
    void Run(EdgeRing& ring);
    bool Deliver(EdgeRing& ring);

    SlicerOptions options_;
    bool live_;
    bool paced_ = false;
    double sampleRate_ = 0;
    std::unique_ptr<AudioSlicer> slicer_;
    std::vector<float> buffer_;
    std::vector<EdgeEntry> edges_;
    bool opened_ = false;
    SourceThread thread_;  // last: stopped before the members it uses go
};

// A file libsndfile can open (WAV, FLAC, Ogg, ...); channels are mixed.
// Damage does not end it: audio the library cannot decode is skipped (as
// silence, so that later pages keep their time) and told, and so is a file
// that ends before its header says.
class AudioFileSource : public AudioSource {
public:
    AudioFileSource(std::string path, const SlicerOptions& options);
    ~AudioFileSource() override;

protected:
    AttachStatus Open(double& sampleRate) override;
    long Read(float* samples, std::size_t capacity, const std::atomic<bool>& stop, std::string& error) override;
    void Close() override;

private:
    // Opens the file again past the damage at position_; false when nothing
    // after it can be read (error set when the file cannot be opened again).
    bool SkipDamage(std::string& error);
    // The end: tells what was skipped and whether the file was cut short.
    void TellEnd();
    std::string At(std::int64_t frame) const;

    std::string path_;
    void* file_ = nullptr;  // SNDFILE*
    int channels_ = 1;
    double rate_ = 0;
    std::vector<float> frames_;
    std::int64_t length_ = 0;    // frames, as the header says; 0 = not known, or not a file
    std::int64_t position_ = 0;  // frames handed on, skipped ones included
    std::int64_t silence_ = 0;   // frames of silence still owed for a skip
    std::int64_t skipped_ = 0;   // frames skipped in all
    int damages_ = 0;            // damaged stretches skipped
    std::string cutShort_;       // what the header promised beyond the file, if it did
};

// Raw signed 16-bit little-endian mono: a file path, or "-" for standard
// input (for example `rtl_fm ... | tolvane-cli - --rate 22050`).
class RawAudioSource : public AudioSource {
public:
    RawAudioSource(std::string path, double sampleRate, const SlicerOptions& options);
    // Reads an already open descriptor (not closed on Detach); for tests.
    RawAudioSource(int fd, double sampleRate, const SlicerOptions& options);
    ~RawAudioSource() override;

protected:
    AttachStatus Open(double& sampleRate) override;
    long Read(float* samples, std::size_t capacity, const std::atomic<bool>& stop, std::string& error) override;
    void Close() override;

private:
    std::string path_;
    double rate_;
    int fd_ = -1;
    bool ownsFd_ = true;
    int givenFd_ = -1;
    std::vector<unsigned char> bytes_;
    std::size_t carried_ = 0;  // an odd byte kept for the next read
};

// Live capture from a sound card through PulseAudio ("default" or empty
// for the default source, otherwise a source name as `pactl list sources`
// shows it).
class LiveAudioSource : public AudioSource {
public:
    LiveAudioSource(std::string device, const SlicerOptions& options, double sampleRate = 48000);
    ~LiveAudioSource() override;

    // False when the program was built without PulseAudio.
    static bool Available();

protected:
    AttachStatus Open(double& sampleRate) override;
    long Read(float* samples, std::size_t capacity, const std::atomic<bool>& stop, std::string& error) override;
    void Close() override;

private:
    std::string device_;
    double rate_;
    void* stream_ = nullptr;  // pa_simple*
    std::vector<std::int16_t> pcm_;
};

}  // namespace tolvane
