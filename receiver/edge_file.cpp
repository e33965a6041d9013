#include "receiver/edge_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tolvane {

namespace {

std::string SystemDetail(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

// Checks the magic; leaves the file positioned at the first entry.
bool CheckMagic(std::FILE* file, const std::string& path, AttachStatus& status) {
    char magic[sizeof kEdgeFileMagic];
    const std::size_t got = std::fread(magic, 1, sizeof magic, file);
    if (got != sizeof magic || std::memcmp(magic, kEdgeFileMagic, sizeof magic) != 0) {
        status.error = AttachError::BadFormat;
        status.detail = path + ": missing the TVEDGES1 header";
        return false;
    }
    return true;
}

std::FILE* OpenForReading(const std::string& path, AttachStatus& status) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        status.error = AttachError::CannotOpenRecording;
        status.detail = SystemDetail(path);
    }
    return file;
}

}  // namespace

void AppendRun(std::vector<EdgeEntry>& out, std::uint64_t ticks, std::uint8_t state) {
    while (ticks > 0) {
        const auto part = static_cast<std::uint16_t>(ticks > 0xFFFF ? 0xFFFF : ticks);
        out.push_back({part, state});
        ticks -= part;
    }
}

EdgeFileWriter::~EdgeFileWriter() { Close(); }

bool EdgeFileWriter::Open(const std::string& path) {
    Close();
    failed_ = false;
    pendingTicks_ = 0;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return false;
    if (std::fwrite(kEdgeFileMagic, 1, sizeof kEdgeFileMagic, file_) != sizeof kEdgeFileMagic) {
        failed_ = true;
    }
    return true;
}

void EdgeFileWriter::AddRun(std::uint64_t ticks, std::uint8_t state) {
    if (ticks == 0) return;
    if (pendingTicks_ > 0 && state != pendingState_) {
        Emit(pendingTicks_, pendingState_);
        pendingTicks_ = 0;
    }
    pendingState_ = state;
    pendingTicks_ += ticks;
}

void EdgeFileWriter::Emit(std::uint64_t ticks, std::uint8_t state) {
    if (file_ == nullptr) return;
    while (ticks > 0) {
        const auto part = static_cast<std::uint16_t>(ticks > 0xFFFF ? 0xFFFF : ticks);
        const unsigned char bytes[3] = {static_cast<unsigned char>(part & 0xFF),
                                        static_cast<unsigned char>(part >> 8), state};
        if (std::fwrite(bytes, 1, 3, file_) != 3) failed_ = true;
        ticks -= part;
    }
}

bool EdgeFileWriter::Close() {
    if (file_ == nullptr) return !failed_;
    if (pendingTicks_ > 0) Emit(pendingTicks_, pendingState_);
    pendingTicks_ = 0;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

bool ReadEdgeFile(const std::string& path, std::vector<EdgeEntry>& out, AttachStatus& status) {
    std::FILE* file = OpenForReading(path, status);
    if (file == nullptr) return false;
    if (!CheckMagic(file, path, status)) {
        std::fclose(file);
        return false;
    }
    unsigned char bytes[3];
    while (std::fread(bytes, 1, 3, file) == 3) {
        out.push_back({static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)), bytes[2]});
    }
    std::fclose(file);
    return true;
}

EdgeFileSource::EdgeFileSource(std::string path, bool paced) : path_(std::move(path)), paced_(paced) {}

EdgeFileSource::~EdgeFileSource() { Detach(); }

AttachStatus EdgeFileSource::Attach(EdgeRing& ring) {
    Detach();
    AttachStatus status;
    file_ = OpenForReading(path_, status);
    if (file_ == nullptr) return status;
    if (!CheckMagic(file_, path_, status)) {
        std::fclose(file_);
        file_ = nullptr;
        return status;
    }
    status = thread_.Start([this, &ring] { Run(ring); });
    if (!status.Ok()) {
        std::fclose(file_);
        file_ = nullptr;
    }
    return status;
}

void EdgeFileSource::Detach() {
    thread_.Stop();
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void EdgeFileSource::Run(EdgeRing& ring) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    double recordedTicks = 0;
    unsigned char buffer[3 * 4096];
    std::size_t carried = 0;  // bytes of an incomplete entry kept for the next read
    while (!thread_.StopRequested()) {
        const std::size_t got = std::fread(buffer + carried, 1, sizeof buffer - carried, file_);
        const std::size_t available = carried + got;
        const std::size_t whole = available / 3 * 3;
        for (std::size_t i = 0; i < whole; i += 3) {
            const EdgeEntry entry{static_cast<std::uint16_t>(buffer[i] | (buffer[i + 1] << 8)), buffer[i + 2]};
            if (paced_) {
                // An entry is pushed when the state it describes has ended.
                const auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                             (recordedTicks + entry.duration) * kTickSeconds));
                if (!thread_.SleepUntil(due)) return;
            }
            if (!thread_.PushWhenRoom(ring, entry)) return;
            recordedTicks += entry.duration;
        }
        carried = available - whole;
        std::memmove(buffer, buffer + whole, carried);
        if (got == 0) break;  // end of file; a truncated final entry is dropped
    }
}

}  // namespace tolvane
