// Edge stream files: any bytes are read without harm, a file that is read
// gives one entry per whole 3 bytes after the magic, and the engine decodes
// whatever the entries say without crashing.
#include "fuzz_input.h"
#include "receiver/edge_file.h"
#include "support/fake_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    fuzz::MemoryFile file(data, size);
    if (!file.Ok()) return 0;
    std::vector<EdgeEntry> edges;
    AttachStatus status;
    const bool read = ReadEdgeFile(file.Path(), edges, status);
    if (read != (size >= sizeof kEdgeFileMagic && std::equal(kEdgeFileMagic, kEdgeFileMagic + 8, data)))
        fuzz::Broken("magic accepted or refused wrongly");
    if (!read) return 0;
    if (edges.size() != (size - 8) / 3) fuzz::Broken("entries lost or invented");
    for (const int levels : {2, 4}) {
        Settings settings;
        settings.FourLevelInterface = levels == 4;
        testing::TestRig rig(settings);
        rig.Feed(edges);
    }
    return 0;
}
