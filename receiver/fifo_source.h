// A named pipe (FIFO) as input: a recording or raw audio that another
// program writes as it goes. Opening a FIFO for reading waits for a writer,
// and what kind of recording it carries is known only from its first bytes,
// so all of that happens on a thread of the source's own: Attach returns at
// once, a stop is taken at any time, and the FIFO is opened once only (a
// writer already waiting is not cut off by a probe).
//
// The opening thread reads the first bytes, chooses the edge source for
// them (as for a file) and starts a pump that copies the FIFO into a pipe of
// the source's own, which that edge source reads with the first bytes put
// back in front. Stopping ends the pump first: its pipe then ends, which
// wakes the edge source wherever it waits.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "receiver/edge_source.h"
#include "receiver/source_thread.h"

namespace tolvane {

// Makes the edge source for a recording at path, given its first bytes.
using SourceForStart = std::function<std::unique_ptr<EdgeSource>(const std::string& path, std::string_view start)>;

class FifoSource : public EdgeSource {
public:
    FifoSource(std::string path, SourceForStart sourceFor);
    ~FifoSource() override;

    AttachStatus Attach(EdgeRing& ring) override;
    void Detach() override;
    bool Finished() const override;
    std::string RuntimeError() const override;
    std::vector<std::string> TakeNotices() override;

private:
    void Open(EdgeRing& ring);
    void Pump();
    // The source reading the pipe, once the opening thread has ended.
    EdgeSource* Inner() const { return opener_.Finished() ? inner_.get() : nullptr; }

    std::string path_;
    SourceForStart sourceFor_;
    int fifo_ = -1;
    int pipeRead_ = -1;
    int pipeWrite_ = -1;
    std::unique_ptr<EdgeSource> inner_;  // set by the opening thread
    std::mutex pumpMutex_;  // the pump is started (by the opening thread) or stopped, not both
    SourceThread pump_;
    SourceThread opener_;  // last: stopped before the members it uses go
};

}  // namespace tolvane
