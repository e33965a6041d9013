#include "receiver/audio_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#ifdef TOLVANE_HAVE_PULSE
#include <pulse/error.h>
#include <pulse/simple.h>
#endif

#include "receiver/edge_ring.h"
#include "receiver/sound_file.h"

namespace tolvane {

namespace {

constexpr std::size_t kBlockSamples = 4096;

// What the slicer can work with: below this no symbol rate fits, above it
// the audio is no discriminator output.
bool UsableSampleRate(double rate) { return rate >= kMinSampleRate && rate <= kMaxSampleRate; }

std::string RateProblem(const std::string& path, const char* what, double rate) {
    return path + ": " + what + " needs a sample rate between " + std::to_string(kMinSampleRate) + " and " +
           std::to_string(kMaxSampleRate) + " Hz, not " + std::to_string(static_cast<long long>(rate));
}

}  // namespace

// ---------------------------------------------------------------------------
// AudioSource

AudioSource::AudioSource(const SlicerOptions& options, bool live) : options_(options), live_(live) {}

AttachStatus AudioSource::Attach(EdgeRing& ring) {
    Detach();
    double rate = 0;
    AttachStatus status = Open(rate);
    if (!status.Ok()) return status;
    opened_ = true;
    sampleRate_ = rate;
    try {
        optionsChanged_ = false;
        ring.ClearSecondDecision();  // a new input: its receiver asks again
        slicer_ = MakeSlicer();
        buffer_.resize(kBlockSamples);
        previous_.resize(kBlockSamples);
        previousCount_ = 0;
        edges_.reserve(kBlockSamples);
        status = thread_.Start([this, &ring] { Run(ring); });
    } catch (const std::exception& e) {
        status.error = AttachError::OutOfMemory;
        status.detail = e.what();
    }
    if (!status.Ok()) {
        Close();
        opened_ = false;
    }
    return status;
}

std::unique_ptr<AudioSlicer> AudioSource::MakeSlicer() const {
    std::lock_guard lock(optionsMutex_);
    SlicerOptions options = options_;
    options.sampleRate = sampleRate_;
    return std::make_unique<AudioSlicer>(options);
}

void AudioSource::SetSlicing(const SlicerOptions& options) {
    std::lock_guard lock(optionsMutex_);
    options_ = options;
    optionsChanged_ = true;
}

bool AudioSource::Reslice() {
    slicer_->Flush(edges_);  // the durations still add up to the audio's length
    try {
        slicer_ = MakeSlicer();
        slicer_->Warm(std::span<const float>(previous_.data(), previousCount_));
    } catch (const std::exception& e) {
        thread_.Fail(std::string("cannot change the audio slicing: ") + e.what());
        return false;
    }
    return true;
}

void AudioSource::Detach() {
    thread_.Stop();
    if (opened_) {
        Close();
        opened_ = false;
    }
}

bool AudioSource::Deliver(EdgeRing& ring) {
    for (const EdgeEntry& entry : edges_) {
        if (live_) {
            ring.Push(entry);  // a full ring counts an overrun
        } else if (!thread_.PushWhenRoom(ring, entry)) {
            return false;
        }
    }
    edges_.clear();
    return true;
}

void AudioSource::Run(EdgeRing& ring) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    double samplesRead = 0;
    std::string error;
    while (!thread_.StopRequested()) {
        if (!live_ && slicer_->SecondDecisionWaiting() && !thread_.WaitUntilDrained(ring, kSecondDecisionLead)) break;
        if (paced_) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(samplesRead / sampleRate_));
            if (!thread_.SleepUntil(due)) break;
        }
        const long got = Read(buffer_.data(), buffer_.size(), thread_.StopFlag(), error);
        if (got < 0) {
            thread_.Fail(error);
            break;
        }
        if (got == 0) {
            if (thread_.StopRequested()) break;
            slicer_->Flush(edges_);  // the end: hand over the last state
            Deliver(ring);
            break;
        }
        samplesRead += static_cast<double>(got);
        if (optionsChanged_.exchange(false) && !Reslice()) break;
        if (ring.SecondDecisionRequested()) slicer_->StartSecondDecision();
        slicer_->process(std::span<const float>(buffer_.data(), static_cast<std::size_t>(got)), edges_);
        buffer_.swap(previous_);
        previousCount_ = static_cast<std::size_t>(got);
        if (!Deliver(ring)) break;
    }
}

// ---------------------------------------------------------------------------
// AudioFileSource

AudioFileSource::AudioFileSource(std::string path, const SlicerOptions& options)
    : AudioSource(options, false), path_(std::move(path)) {}

AudioFileSource::~AudioFileSource() { Detach(); }

namespace {

// Frames skipped past damage at first; doubled until the library can seek.
// FLAC's usual block, and a short stretch of any other format.
constexpr std::int64_t kSkipStep = 4096;

// libsndfile notes in its log a data chunk that claims more than the file
// holds, as "data : CLAIMED (should be HELD)". Empty when it does not.
std::string CutShortDetail(SNDFILE* file) {
    char log[4096] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    const char* data = std::strstr(log, "\ndata : ");
    long long claimed = 0, held = 0;
    if (data == nullptr || std::sscanf(data, "\ndata : %lld (should be %lld)", &claimed, &held) != 2 || claimed <= held)
        return {};
    return "its header gives " + std::to_string(claimed) + " bytes of audio, the file holds " + std::to_string(held);
}

}  // namespace

AttachStatus AudioFileSource::Open(double& sampleRate) {
    AttachStatus status;
    SF_INFO info;
    SNDFILE* file = OpenSoundFile(path_, info, status);
    if (file == nullptr) return status;
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        status.error = AttachError::BadFormat;
        status.detail = path_ + ": no audio channels";
        return status;
    }
    if (!UsableSampleRate(info.samplerate)) {
        sf_close(file);
        status.error = AttachError::BadFormat;
        status.detail = RateProblem(path_, "audio", info.samplerate);
        return status;
    }
    file_ = file;
    channels_ = info.channels;
    rate_ = info.samplerate;
    frames_.resize(kBlockSamples * static_cast<std::size_t>(channels_));
    // Only a file can be opened again to go on past damage; a length the
    // format does not give cannot tell an early end.
    struct stat st {};
    const bool seekable = ::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    length_ = seekable && info.frames > 0 && info.frames < SF_COUNT_MAX ? info.frames : 0;
    position_ = silence_ = skipped_ = 0;
    damages_ = 0;
    cutShort_ = CutShortDetail(file);
    sampleRate = info.samplerate;
    return status;
}

std::string AudioFileSource::At(std::int64_t frame) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(frame) / rate_);
    return text;
}

bool AudioFileSource::SkipDamage(std::string& error) {
    // The library's decoder cannot go on after damage: open the file again
    // and seek past it.
    Close();
    for (std::int64_t step = kSkipStep; position_ + step < length_; step *= 2) {
        SF_INFO info{};
        SNDFILE* file = sf_open(path_.c_str(), SFM_READ, &info);
        if (file == nullptr) {
            error = path_ + ": " + sf_strerror(nullptr);
            return false;
        }
        if (sf_seek(file, position_ + step, SEEK_SET) >= 0) {
            file_ = file;
            silence_ = step;
            return true;
        }
        sf_close(file);
    }
    return false;
}

void AudioFileSource::TellEnd() {
    if (damages_ > 1)
        Tell(path_ + ": " + std::to_string(damages_) + " damaged stretches skipped in all (" + At(skipped_) + ")");
    if (!cutShort_.empty())
        Tell(path_ + ": the audio ends at " + At(position_) + ", before its header says (" + cutShort_ +
             "): the file was cut short");
}

long AudioFileSource::Read(float* samples, std::size_t capacity, const std::atomic<bool>&, std::string& error) {
    for (;;) {
        if (silence_ > 0) {
            // In place of skipped audio, so that later pages keep their time.
            const auto count = static_cast<std::size_t>(std::min(silence_, static_cast<std::int64_t>(capacity)));
            std::fill_n(samples, count, 0.0f);
            silence_ -= static_cast<std::int64_t>(count);
            position_ += static_cast<std::int64_t>(count);
            return static_cast<long>(count);
        }
        auto* file = static_cast<SNDFILE*>(file_);
        if (file == nullptr) return 0;  // nothing after the last damage could be read
        const std::size_t frames = std::min(capacity, frames_.size() / static_cast<std::size_t>(channels_));
        const sf_count_t got = sf_readf_float(file, frames_.data(), static_cast<sf_count_t>(frames));
        if (got > 0) {
            const auto count = static_cast<std::size_t>(got);
            const auto c = static_cast<std::size_t>(channels_);
            for (std::size_t i = 0; i < count; ++i) {
                float sum = 0;
                for (std::size_t k = 0; k < c; ++k) sum += frames_[i * c + k];
                samples[i] = sum / static_cast<float>(c);
            }
            position_ += got;
            return static_cast<long>(count);
        }
        // Nothing came: the end, or damage that stopped the decoder.
        const bool damaged = got < 0 || sf_error(file) != SF_ERR_NO_ERROR;
        if (!damaged && position_ >= length_) {  // the end (always, when the length is not known)
            TellEnd();
            return 0;
        }
        const std::string why = damaged ? sf_strerror(file) : "";
        const std::int64_t at = position_;
        if (length_ == 0 || !SkipDamage(error)) {
            if (!error.empty()) return -1;
            Tell(damaged ? path_ + ": damaged audio at " + At(at) + " (" + why + "); nothing after it can be read"
                         : path_ + ": the audio ends at " + At(at) + ", before the " + At(length_) +
                               " its header gives: the file was cut short");
            cutShort_.clear();
            TellEnd();
            return 0;
        }
        skipped_ += silence_;
        if (++damages_ == 1)
            Tell(path_ + ": damaged audio at " + At(at) + " skipped" + (why.empty() ? "" : " (" + why + ")") +
                 "; decoding goes on");
    }
}

void AudioFileSource::Close() {
    if (file_ != nullptr) sf_close(static_cast<SNDFILE*>(file_));
    file_ = nullptr;
}

// ---------------------------------------------------------------------------
// RawAudioSource

RawAudioSource::RawAudioSource(std::string path, double sampleRate, const SlicerOptions& options)
    : AudioSource(options, false), path_(std::move(path)), rate_(sampleRate) {}

RawAudioSource::RawAudioSource(int fd, double sampleRate, const SlicerOptions& options)
    : AudioSource(options, false), path_("-"), rate_(sampleRate), ownsFd_(false), givenFd_(fd) {}

RawAudioSource::~RawAudioSource() { Detach(); }

AttachStatus RawAudioSource::Open(double& sampleRate) {
    AttachStatus status;
    if (!UsableSampleRate(rate_)) {
        status.error = AttachError::BadFormat;
        status.detail = RateProblem(path_, "raw audio", rate_);
        return status;
    }
    if (givenFd_ >= 0) {
        fd_ = givenFd_;
        ownsFd_ = false;
    } else if (path_ == "-") {
        fd_ = STDIN_FILENO;
        ownsFd_ = false;
    } else {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            status.error = AttachError::CannotOpenRecording;
            status.detail = SystemDetail(path_, errno);
            return status;
        }
        ownsFd_ = true;
    }
    bytes_.resize(2 * kBlockSamples);
    carried_ = 0;
    sampleRate = rate_;
    return status;
}

long RawAudioSource::Read(float* samples, std::size_t capacity, const std::atomic<bool>& stop, std::string& error) {
    for (;;) {
        // A pipe may stay quiet for a long time: wait in short steps so that
        // Detach is never held up.
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready < 0) {
            if (errno == EINTR) continue;
            error = SystemDetail(path_, errno);
            return -1;
        }
        if (ready == 0) {
            if (stop) return 0;
            continue;
        }
        const std::size_t room = std::min(capacity * 2, bytes_.size()) - carried_;
        const ssize_t got = ::read(fd_, bytes_.data() + carried_, room);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            error = SystemDetail(path_, errno);
            return -1;
        }
        if (got == 0) return 0;  // the end; an odd last byte is dropped
        const std::size_t available = carried_ + static_cast<std::size_t>(got);
        const std::size_t count = available / 2;
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = static_cast<std::int16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8));
            samples[i] = static_cast<float>(value) * (1.0f / 32768.0f);
        }
        carried_ = available - 2 * count;
        if (carried_ != 0) bytes_[0] = bytes_[2 * count];
        if (count > 0) return static_cast<long>(count);
    }
}

void RawAudioSource::Close() {
    if (fd_ >= 0 && ownsFd_) ::close(fd_);
    fd_ = -1;
}

// ---------------------------------------------------------------------------
// LiveAudioSource

LiveAudioSource::LiveAudioSource(std::string device, const SlicerOptions& options, double sampleRate)
    : AudioSource(options, true), device_(std::move(device)), rate_(sampleRate) {}

LiveAudioSource::~LiveAudioSource() { Detach(); }

#ifdef TOLVANE_HAVE_PULSE

bool LiveAudioSource::Available() { return true; }

AttachStatus LiveAudioSource::Open(double& sampleRate) {
    AttachStatus status;
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = static_cast<std::uint32_t>(rate_);
    format.channels = 1;
    // Small fragments keep the latency and the wait in Read short.
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(rate_ / 50) * 2;
    attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
    int error = 0;
    const char* device = device_.empty() || device_ == "default" ? nullptr : device_.c_str();
    pa_simple* stream = pa_simple_new(nullptr, "Tolvane", PA_STREAM_RECORD, device, "discriminator audio", &format,
                                      nullptr, &attr, &error);
    if (stream == nullptr) {
        status.error = AttachError::CannotOpen;
        status.detail = "audio:" + device_ + ": " + pa_strerror(error);
        return status;
    }
    stream_ = stream;
    pcm_.resize(static_cast<std::size_t>(rate_ / 100));  // 10 ms per read
    sampleRate = rate_;
    return status;
}

long LiveAudioSource::Read(float* samples, std::size_t capacity, const std::atomic<bool>&, std::string& error) {
    const std::size_t count = std::min(capacity, pcm_.size());
    int code = 0;
    if (pa_simple_read(static_cast<pa_simple*>(stream_), pcm_.data(), count * 2, &code) < 0) {
        error = "audio:" + device_ + ": " + pa_strerror(code);
        return -1;
    }
    for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<float>(pcm_[i]) * (1.0f / 32768.0f);
    return static_cast<long>(count);
}

void LiveAudioSource::Close() {
    if (stream_ != nullptr) pa_simple_free(static_cast<pa_simple*>(stream_));
    stream_ = nullptr;
}

#else

bool LiveAudioSource::Available() { return false; }

AttachStatus LiveAudioSource::Open(double&) {
    AttachStatus status;
    status.error = AttachError::CannotOpen;
    status.detail = "audio:" + device_ + ": this build has no sound card capture (PulseAudio was not found)";
    return status;
}

long LiveAudioSource::Read(float*, std::size_t, const std::atomic<bool>&, std::string&) { return 0; }

void LiveAudioSource::Close() {}

#endif

}  // namespace tolvane
