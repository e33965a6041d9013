// Recorded edge streams: written and read back, bad files refused with a
// clear reason, and replayed through a ring smaller than the recording.
#include "receiver/edge_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/loopback.h"

namespace tolvane {
namespace {

using Entries = std::vector<std::pair<int, int>>;  // duration, line state

Entries Read(const std::string& path) {
    std::vector<EdgeEntry> entries;
    AttachStatus status;
    EXPECT_TRUE(ReadEdgeFile(path, entries, status)) << status.Describe();
    Entries out;
    for (const EdgeEntry& e : entries) out.emplace_back(e.duration, e.lineState);
    return out;
}

TEST(EdgeFile, RunsMergeAndSplitAndATruncatedEntryIsIgnored) {
    testing::TempDir dir;
    EdgeFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "runs.tve"));
    writer.AddRun(100, kLineDCD);
    writer.AddRun(50, kLineDCD);  // same state: merged
    writer.AddRun(70000, 0);      // longer than 65535: split
    writer.AddRun(3, kLineCTS | kLineDSR);
    ASSERT_TRUE(writer.Close());
    EXPECT_EQ(Read(dir / "runs.tve"), (Entries{{150, kLineDCD}, {65535, 0}, {70000 - 65535, 0}, {3, kLineCTS | kLineDSR}}));

    std::ofstream(dir / "cut.tve", std::ios::binary) << std::string("TVEDGES1\x10\x00\x80\x20\x00\x00\x05", 15);
    EXPECT_EQ(Read(dir / "cut.tve"), (Entries{{16, 0x80}, {32, 0}}));
}

TEST(EdgeFile, BadInputGivesClearErrors) {
    testing::TempDir dir;
    std::vector<EdgeEntry> entries;
    AttachStatus missing;
    EXPECT_FALSE(ReadEdgeFile(dir / "does-not-exist.tve", entries, missing));
    EXPECT_EQ(missing.error, AttachError::CannotOpenRecording);
    EXPECT_NE(missing.Describe().find("No such file"), std::string::npos);

    for (const std::string& bytes : {std::string(), std::string("TVEDG"), std::string("RIFFxxxxWAVEfmt ")}) {
        std::ofstream(dir / "bad.tve", std::ios::binary) << bytes;
        AttachStatus status;
        EXPECT_FALSE(ReadEdgeFile(dir / "bad.tve", entries, status));
        EXPECT_EQ(status.error, AttachError::BadFormat);
        EXPECT_EQ(status.Describe().find('\n'), std::string::npos);
        EdgeFileSource source(dir / "bad.tve");
        EdgeRing ring(16);
        EXPECT_EQ(source.Attach(ring).error, AttachError::BadFormat);
    }
}

TEST(EdgeFileSource, ReplaysMoreEntriesThanTheRingHolds) {
    testing::TempDir dir;
    EdgeFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "long.tve"));
    std::uint64_t total = 0;
    for (int i = 0; i < 10000; ++i) {
        writer.AddRun(static_cast<std::uint64_t>(100 + i % 7), i & 1 ? kLineDCD : std::uint8_t{0});
        total += static_cast<std::uint64_t>(100 + i % 7);
    }
    ASSERT_TRUE(writer.Close());
    EdgeRing ring(64);
    EdgeFileSource source(dir / "long.tve");
    ASSERT_TRUE(source.Attach(ring).Ok());
    const std::vector<EdgeEntry> entries = testing::Drain(source, ring);
    source.Detach();
    ASSERT_EQ(entries.size(), 10000u);
    for (const EdgeEntry& e : entries) total -= e.duration;
    EXPECT_EQ(total, 0u);
}

}  // namespace
}  // namespace tolvane
