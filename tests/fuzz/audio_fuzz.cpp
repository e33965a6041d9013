// Audio files: any bytes libsndfile is handed are refused or read to the
// end without harm, and the sliced edges never hold more time than the
// audio (one run may be held back at the end).
#include "fuzz_input.h"
#include "receiver/audio_source.h"

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
        fuzz::DrainToTheEnd(source, ring);
        source.Detach();
    }
    return 0;
}
