#include "receiver/edge_codec.h"

#include <cstring>

namespace tolvane {

bool EdgeEntryReader::Next(std::FILE* file, std::span<const EdgeEntry>& entries) {
    const std::size_t got = std::fread(bytes_ + carried_, 1, sizeof bytes_ - carried_, file);
    if (got == 0) {
        entries = {};
        return false;
    }
    const std::size_t available = carried_ + got;
    const std::size_t count = available / kEdgeEntryBytes;
    for (std::size_t i = 0; i < count; ++i) entries_[i] = DecodeEdgeEntry(bytes_ + i * kEdgeEntryBytes);
    const std::size_t whole = count * kEdgeEntryBytes;
    carried_ = available - whole;
    std::memmove(bytes_, bytes_ + whole, carried_);
    entries = std::span<const EdgeEntry>(entries_, count);
    return true;
}

}  // namespace tolvane
