// Fuzz inputs as files: the readers under test take a path, so each input
// is put in an anonymous memory file and named through /proc/self/fd.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "receiver/edge_ring.h"

namespace tolvane::fuzz {

class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : fd_(::memfd_create("fuzz", MFD_CLOEXEC)) {
        for (ssize_t n = 0; fd_ >= 0 && size > 0; data += n, size -= static_cast<std::size_t>(n))
            if ((n = ::write(fd_, data, size)) <= 0) break;
    }
    ~MemoryFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool Ok() const { return fd_ >= 0; }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

// Stops the run with a message when an invariant of the reader is broken.
[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

// Pops what an attached source delivers until it has finished and the ring
// is empty; the ticks of time it delivered. Taking more than 20 seconds
// stops the run.
template <class Source> double DrainToTheEnd(const Source& source, EdgeRing& ring) {
    EdgeEntry e;
    double ticks = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(source.Finished() && ring.Empty())) {
        while (ring.Pop(e)) ticks += e.duration;
        if (std::chrono::steady_clock::now() > limit) Broken("reading did not end");
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return ticks;
}

}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
