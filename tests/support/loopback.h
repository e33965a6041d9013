// The loop back used by the decoder tests: page descriptions through the
// generator to edges, edges through an engine on a fake world to the exact
// pane lines; plus a temporary directory and a drain for edge sources.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "output/error_marks.h"
#include "receiver/edge_source.h"
#include "support/fake_world.h"
#include "tools/gen/page_description.h"

namespace tolvane::testing {

// Settings without the time stamp; `levels` 4 reads the four-level lines.
Settings Untimed(int levels = 2);

// The generator's symbols for page descriptions ("pocsag:1200:8:0:alpha:Hi"),
// all of one protocol; a description or page it refuses fails the test.
gen::SymbolStream Encode(const std::vector<std::string>& descriptions, const gen::EncodeOptions& options = {});

// Symbols between two silences, as edges through the channel.
std::vector<EdgeEntry> ToEdges(const gen::SymbolStream& body, const gen::ChannelOptions& channel = {},
                               double silence = 0.3);

// A rig whose message-pane lines enclose every run in the bit-error colour
// in « and » (bytes outside printable ASCII show as '.'), so that expected
// lines also say which text the receiver flagged as damaged.
class MarkingRig : public TestRig {
public:
    explicit MarkingRig(const Settings& settings);

private:
    ErrorMarkingJoiner marks_;
};

// Edges through a fresh engine, to the end of the input; the rig keeps the
// lines (marked by ReceiveMarked), titles and statistics.
std::unique_ptr<TestRig> Receive(const std::vector<EdgeEntry>& edges, const Settings& settings = Untimed());
std::unique_ptr<MarkingRig> ReceiveMarked(const std::vector<EdgeEntry>& edges, const Settings& settings = Untimed());

// A fresh directory under the system's temporary directory, removed with
// everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A one-channel float WAV file of `samples` at `rate`; false if it could
// not be written whole.
bool WriteMonoWav(const std::string& path, const std::vector<float>& samples, int rate);

// Pops what an attached source delivers until it has finished and the ring
// is empty (gives up after five seconds).
std::vector<EdgeEntry> Drain(const EdgeSource& source, EdgeRing& ring);

}  // namespace tolvane::testing
