// The edge stream as bytes: the one encoding of (duration, line state)
// entries that the recorded files, the live sources, the engine and the
// generator all share.
//
//   "TVEDGES1"                       8 ASCII bytes, at the start of a file
//   { u16 duration (LE), u8 state }  3 bytes per entry
//
// A state longer than an entry can hold is written as several entries of the
// same state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "receiver/edge_ring.h"

namespace tolvane {

inline constexpr char kEdgeFileMagic[8] = {'T', 'V', 'E', 'D', 'G', 'E', 'S', '1'};
inline constexpr std::size_t kEdgeEntryBytes = 3;
inline constexpr std::uint64_t kLongestEdgeEntry = 0xFFFF;

// Hands `ticks` of `state` to `sink` as entries, the longest first.
template <typename Sink>
void SplitRun(std::uint64_t ticks, std::uint8_t state, Sink&& sink) {
    while (ticks > 0) {
        const auto part = static_cast<std::uint16_t>(ticks > kLongestEdgeEntry ? kLongestEdgeEntry : ticks);
        sink(EdgeEntry{part, state});
        ticks -= part;
    }
}

inline void AppendRun(std::vector<EdgeEntry>& out, std::uint64_t ticks, std::uint8_t state) {
    SplitRun(ticks, state, [&out](EdgeEntry entry) { out.push_back(entry); });
}

inline bool StartsWithEdgeMagic(std::string_view start) {
    return start.size() >= sizeof kEdgeFileMagic && start.substr(0, sizeof kEdgeFileMagic) ==
                                                        std::string_view(kEdgeFileMagic, sizeof kEdgeFileMagic);
}

inline void EncodeEdgeEntry(EdgeEntry entry, unsigned char (&bytes)[kEdgeEntryBytes]) {
    bytes[0] = static_cast<unsigned char>(entry.duration & 0xFF);
    bytes[1] = static_cast<unsigned char>(entry.duration >> 8);
    bytes[2] = entry.lineState;
}

inline EdgeEntry DecodeEdgeEntry(const unsigned char* bytes) {
    return {static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)), bytes[2]};
}

// Reads the entries of an open stream a block at a time. An entry cut by a
// block boundary is kept for the next block; one cut by the end of the
// stream is dropped.
class EdgeEntryReader {
public:
    static constexpr std::size_t kBlockEntries = 4096;

    // The whole entries of the next block, possibly none; false at the end
    // of the stream.
    bool Next(std::FILE* file, std::span<const EdgeEntry>& entries);

private:
    unsigned char bytes_[kEdgeEntryBytes * kBlockEntries];
    EdgeEntry entries_[kBlockEntries];
    std::size_t carried_ = 0;
};

}  // namespace tolvane
