#include <fcntl.h>
#include <poll.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "receiver/iq/iq_input.h"
#include "receiver/sound_file.h"

namespace tolvane {

namespace {

constexpr std::size_t kBlockSamples = 16384;

// SDR programs that record WAV keep the centre frequency in an "auxi" chunk:
// two 16-byte SYSTEMTIMEs (start, stop), then the frequency in Hz as a
// little-endian 32-bit number.
double AuxiCentre(SNDFILE* file) {
    SF_CHUNK_INFO info{};
    std::memcpy(info.id, "auxi", 4);
    info.id_size = 4;
    SF_CHUNK_ITERATOR* it = sf_get_chunk_iterator(file, &info);
    if (it == nullptr) return 0;
    SF_CHUNK_INFO found{};
    if (sf_get_chunk_size(it, &found) != SF_ERR_NO_ERROR || found.datalen < 36 || found.datalen > 4096) return 0;
    std::vector<unsigned char> data(found.datalen);
    found.data = data.data();
    if (sf_get_chunk_data(it, &found) != SF_ERR_NO_ERROR) return 0;
    const std::uint32_t hz = static_cast<std::uint32_t>(data[32]) | static_cast<std::uint32_t>(data[33]) << 8 |
                             static_cast<std::uint32_t>(data[34]) << 16 | static_cast<std::uint32_t>(data[35]) << 24;
    return hz;
}

}  // namespace

IqFileInput::IqFileInput(std::string path, IqFormat format) : path_(std::move(path)), format_(format) {}

IqFileInput::~IqFileInput() { Close(); }

AttachStatus IqFileInput::Open(double& sampleRate, double& centreHz) {
    Close();
    AttachStatus status;
    carried_ = 0;
    if (format_ == IqFormat::Wav) {
        SF_INFO info;
        SNDFILE* file = OpenSoundFile(path_, info, status);
        if (file == nullptr) return status;
        if (info.channels != 2) {
            sf_close(file);
            status.error = AttachError::BadFormat;
            status.detail = path_ + ": an IQ recording needs two channels (I and Q), this one has " +
                            std::to_string(info.channels);
            return status;
        }
        wav_ = file;
        sampleRate = info.samplerate;
        const double centre = AuxiCentre(file);
        if (centre > 0) centreHz = centre;
        frames_.resize(2 * kBlockSamples);
        return status;
    }
    if (path_ == "-") {
        if (format_ == IqFormat::Wav) {
            status.error = AttachError::BadFormat;
            status.detail = "-: standard input takes raw IQ (--iq-format cu8, cs8, cs16 or cf32)";
            return status;
        }
        fd_ = STDIN_FILENO;
        ownsFd_ = false;
        bytes_.resize(kBlockSamples * IqSampleBytes(format_));
        return status;
    }
    ownsFd_ = true;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        status.error = AttachError::CannotOpenRecording;
        status.detail = SystemDetail(path_, errno);
        return status;
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        Close();
        status.error = AttachError::CannotOpenRecording;
        status.detail = path_ + ": is a directory";
        return status;
    }
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) {
        Close();
        status.error = AttachError::BadFormat;
        status.detail = path_ + ": empty IQ recording";
        return status;
    }
    bytes_.resize(kBlockSamples * IqSampleBytes(format_));
    return status;
}

long IqFileInput::Read(std::complex<float>* out, std::size_t capacity, const std::atomic<bool>& stop,
                       std::string& error) {
    if (wav_ != nullptr) {
        auto* file = static_cast<SNDFILE*>(wav_);
        const std::size_t want = std::min(capacity, kBlockSamples);
        const sf_count_t got = sf_readf_float(file, frames_.data(), static_cast<sf_count_t>(want));
        if (got < 0 || (got == 0 && sf_error(file) != SF_ERR_NO_ERROR)) {
            error = path_ + ": " + sf_strerror(file);
            return -1;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) out[i] = {frames_[2 * i], frames_[2 * i + 1]};
        return static_cast<long>(got);
    }
    const std::size_t size = IqSampleBytes(format_);
    for (;;) {
        if (!ownsFd_) {
            // A pipe may stay quiet: wait in short steps so that a stop is seen.
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, 100);
            if (ready < 0 && errno != EINTR) {
                error = SystemDetail(path_, errno);
                return -1;
            }
            if (ready <= 0) {
                if (stop.load(std::memory_order_relaxed)) return 0;
                continue;
            }
        }
        const std::size_t room = std::min(capacity * size, bytes_.size()) - carried_;
        const ssize_t got = ::read(fd_, bytes_.data() + carried_, room);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = SystemDetail(path_, errno);
            return -1;
        }
        if (got == 0) {
            if (carried_ != 0) {
                error = path_ + ": truncated: ends " + std::to_string(carried_) + " bytes into a " +
                        std::to_string(size) + "-byte " + IqFormatName(format_) + " sample";
                carried_ = 0;
                return -1;
            }
            return 0;
        }
        const std::size_t available = carried_ + static_cast<std::size_t>(got);
        const std::size_t count = available / size;
        ConvertIq(format_, bytes_.data(), count, out);
        carried_ = available - count * size;
        if (carried_ != 0) std::memmove(bytes_.data(), bytes_.data() + count * size, carried_);
        if (count > 0) return static_cast<long>(count);
    }
}

void IqFileInput::Close() {
    if (wav_ != nullptr) sf_close(static_cast<SNDFILE*>(wav_));
    wav_ = nullptr;
    if (fd_ >= 0 && ownsFd_) ::close(fd_);
    fd_ = -1;
}

}  // namespace tolvane
