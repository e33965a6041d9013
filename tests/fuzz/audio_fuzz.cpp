// Audio files: any bytes libsndfile is handed are refused or read to the
// end without harm, and the sliced edges never hold more time than the
// audio (one run may be held back at the end).
#include <chrono>
#include <thread>

#include "fuzz_input.h"
#include "receiver/audio_source.h"
#include "receiver/edge_ring.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    fuzz::MemoryFile file(data, size);
    if (!file.Ok()) return 0;
    for (const int levels : {2, 4}) {
        SlicerOptions options;
        options.fourLevel = levels == 4;
        AudioFileSource source(file.Path(), options);
        EdgeRing ring(1 << 12);
        if (!source.Attach(ring).Ok()) return 0;
        EdgeEntry e;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!(source.Finished() && ring.Empty())) {
            while (ring.Pop(e)) {
            }
            if (std::chrono::steady_clock::now() > limit) fuzz::Broken("reading did not end");
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        source.Detach();
    }
    return 0;
}
