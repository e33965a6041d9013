#include "tools/gen/protocols.h"

#include <array>

#include "tools/gen/flex_encoder.h"
#include "tools/gen/gsc_encoder.h"
#include "tools/gen/pocsag_encoder.h"

namespace tolvane::gen {

namespace {

// Add a protocol by appending its line.
constexpr ProtocolEntry kProtocols[] = {
    {"pocsag", &EncodePocsagPages, kPocsagUsage},
    {"flex", &EncodeFlexPages, kFlexUsage},
    {"gsc", &EncodeGscPages, kGscUsage},
};

}  // namespace

std::span<const ProtocolEntry> Protocols() { return kProtocols; }

const ProtocolEntry* FindProtocol(std::string_view name) {
    for (const ProtocolEntry& entry : kProtocols)
        if (name == entry.name) return &entry;
    return nullptr;
}

}  // namespace tolvane::gen
