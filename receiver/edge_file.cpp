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
    if (!StartsWithEdgeMagic(std::string_view(magic, got))) {
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
    SplitRun(ticks, state, [this](EdgeEntry entry) {
        unsigned char bytes[kEdgeEntryBytes];
        EncodeEdgeEntry(entry, bytes);
        if (std::fwrite(bytes, 1, sizeof bytes, file_) != sizeof bytes) failed_ = true;
    });
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
    EdgeEntryReader reader;
    std::span<const EdgeEntry> entries;
    while (reader.Next(file, entries)) out.insert(out.end(), entries.begin(), entries.end());
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
    EdgeEntryReader reader;
    std::span<const EdgeEntry> entries;
    while (!thread_.StopRequested() && reader.Next(file_, entries)) {
        for (const EdgeEntry entry : entries) {
            if (paced_) {
                // An entry is pushed when the state it describes has ended.
                const auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                             (recordedTicks + entry.duration) * kTickSeconds));
                if (!thread_.SleepUntil(due)) return;
            }
            if (!thread_.PushWhenRoom(ring, entry)) return;
            recordedTicks += entry.duration;
        }
    }
}

}  // namespace tolvane
