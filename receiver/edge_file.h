// Recorded edge streams: the shared file format of the generator, the tests
// and the command-line decoder. A file is the magic and then entries to its
// end, as receiver/edge_codec.h encodes them; a truncated final entry is
// ignored.
//
// Durations are in ticks of 838.8 ns; bits 4..7 of the state are CTS, DSR,
// RI, DCD.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "receiver/edge_codec.h"
#include "receiver/edge_ring.h"
#include "receiver/edge_source.h"
#include "receiver/source_thread.h"

namespace tolvane {

// Writes an edge stream file. Runs of the same state are merged, so callers
// may hand over one entry per symbol.
class EdgeFileWriter {
public:
    EdgeFileWriter() = default;
    ~EdgeFileWriter();
    EdgeFileWriter(const EdgeFileWriter&) = delete;
    EdgeFileWriter& operator=(const EdgeFileWriter&) = delete;

    // Returns false with errno set when the file cannot be created.
    bool Open(const std::string& path);
    // Adds `ticks` of line state `state`.
    void AddRun(std::uint64_t ticks, std::uint8_t state);
    // Writes what is pending and closes; false if any write failed.
    bool Close();

private:
    void Emit(std::uint64_t ticks, std::uint8_t state);

    std::FILE* file_ = nullptr;
    std::uint64_t pendingTicks_ = 0;
    std::uint8_t pendingState_ = 0;
    bool failed_ = false;
};

// Reads a whole edge stream file. On failure returns false and describes it.
bool ReadEdgeFile(const std::string& path, std::vector<EdgeEntry>& out, AttachStatus& status);

// Replays an edge stream file into the ring from its own thread, either as
// fast as the ring drains or paced to the recording's own time.
class EdgeFileSource : public EdgeSource {
public:
    explicit EdgeFileSource(std::string path, bool paced = false);
    ~EdgeFileSource() override;

    AttachStatus Attach(EdgeRing& ring) override;
    void Detach() override;
    bool Finished() const override { return thread_.Finished(); }

private:
    void Run(EdgeRing& ring);

    std::string path_;
    bool paced_;
    std::FILE* file_ = nullptr;
    SourceThread thread_;  // last: stopped before the members it uses go
};

}  // namespace tolvane
