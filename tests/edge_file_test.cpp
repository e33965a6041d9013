#include "receiver/edge_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tolvane {
namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("tolvane_" + std::to_string(::getpid()) + "_" + name)).string();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(EdgeFile, WriteAndReadBackMergingAndSplittingRuns) {
    const std::string path = TempPath("roundtrip.tve");
    EdgeFileWriter writer;
    ASSERT_TRUE(writer.Open(path));
    writer.AddRun(100, kLineDCD);
    writer.AddRun(50, kLineDCD);  // same state: merged
    writer.AddRun(70000, 0);      // longer than 65535: split
    writer.AddRun(3, kLineCTS | kLineDSR);
    ASSERT_TRUE(writer.Close());

    std::vector<EdgeEntry> entries;
    AttachStatus status;
    ASSERT_TRUE(ReadEdgeFile(path, entries, status)) << status.Describe();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].duration, 150);
    EXPECT_EQ(entries[0].lineState, kLineDCD);
    EXPECT_EQ(entries[1].duration, 65535);
    EXPECT_EQ(entries[2].duration, 70000 - 65535);
    EXPECT_EQ(entries[2].lineState, 0);
    EXPECT_EQ(entries[3].lineState, kLineCTS | kLineDSR);
    std::filesystem::remove(path);
}

TEST(EdgeFile, BadInputGivesClearErrors) {
    std::vector<EdgeEntry> entries;
    AttachStatus missing;
    EXPECT_FALSE(ReadEdgeFile(TempPath("does-not-exist.tve"), entries, missing));
    EXPECT_EQ(missing.error, AttachError::CannotOpenRecording);
    EXPECT_NE(missing.Describe().find("No such file"), std::string::npos);

    for (const std::string& bytes : {std::string(), std::string("TVEDG"), std::string("RIFFxxxxWAVEfmt ")}) {
        const std::string path = TempPath("bad.tve");
        WriteBytes(path, bytes);
        AttachStatus status;
        EXPECT_FALSE(ReadEdgeFile(path, entries, status));
        EXPECT_EQ(status.error, AttachError::BadFormat);
        EXPECT_EQ(status.Describe().find('\n'), std::string::npos);
        EdgeFileSource source(path);
        EdgeRing ring(16);
        EXPECT_EQ(source.Attach(ring).error, AttachError::BadFormat);
        std::filesystem::remove(path);
    }
}

TEST(EdgeFile, TruncatedFinalEntryIsIgnored) {
    const std::string path = TempPath("truncated.tve");
    WriteBytes(path, std::string("TVEDGES1") + std::string("\x10\x00\x80\x20\x00\x00\x05", 7));
    std::vector<EdgeEntry> entries;
    AttachStatus status;
    ASSERT_TRUE(ReadEdgeFile(path, entries, status));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].duration, 16);
    EXPECT_EQ(entries[0].lineState, 0x80);
    EXPECT_EQ(entries[1].duration, 32);

    EdgeFileSource source(path);
    EdgeRing ring(16);
    ASSERT_TRUE(source.Attach(ring).Ok());
    while (!source.Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EdgeEntry e;
    int count = 0;
    while (ring.Pop(e)) ++count;
    EXPECT_EQ(count, 2);
    source.Detach();
    std::filesystem::remove(path);
}

TEST(EdgeFileSource, ReplaysMoreEntriesThanTheRingHolds) {
    const std::string path = TempPath("long.tve");
    EdgeFileWriter writer;
    ASSERT_TRUE(writer.Open(path));
    for (int i = 0; i < 10000; ++i) writer.AddRun(static_cast<std::uint64_t>(100 + i % 7), i & 1 ? kLineDCD : 0);
    ASSERT_TRUE(writer.Close());

    EdgeRing ring(64);
    EdgeFileSource source(path);
    ASSERT_TRUE(source.Attach(ring).Ok());
    int count = 0;
    std::uint64_t total = 0;
    EdgeEntry e;
    while (!(source.Finished() && ring.Empty())) {
        while (ring.Pop(e)) {
            total += e.duration;
            ++count;
        }
    }
    source.Detach();
    EXPECT_EQ(count, 10000);
    std::uint64_t expected = 0;
    for (int i = 0; i < 10000; ++i) expected += static_cast<std::uint64_t>(100 + i % 7);
    EXPECT_EQ(total, expected);
    EXPECT_EQ(ring.Overruns(), 0u);
    std::filesystem::remove(path);
}

TEST(EdgeRing, WrapsAndReportsFull) {
    EdgeRing ring(4);
    EXPECT_EQ(ring.Capacity(), 4u);
    for (int round = 0; round < 3; ++round) {
        for (std::uint16_t i = 0; i < 4; ++i) EXPECT_TRUE(ring.Push({i, 0}));
        EXPECT_FALSE(ring.Push({9, 0}));
        EdgeEntry e;
        for (std::uint16_t i = 0; i < 4; ++i) {
            ASSERT_TRUE(ring.Pop(e));
            EXPECT_EQ(e.duration, i);
        }
        EXPECT_TRUE(ring.Empty());
    }
    EXPECT_EQ(ring.Overruns(), 3u);
}

}  // namespace
}  // namespace tolvane
