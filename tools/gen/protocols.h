// The generator's protocol table: one line per protocol in protocols.cpp.
#pragma once

#include <span>
#include <string_view>

#include "tools/gen/page_description.h"

namespace tolvane::gen {

struct ProtocolEntry {
    const char* name;    // the first field of a page description
    PageEncoder encode;
    const char* usage;   // one or more lines for --help: rates, capcodes, numbering of --error-words
};

std::span<const ProtocolEntry> Protocols();
// nullptr when no protocol has this name.
const ProtocolEntry* FindProtocol(std::string_view name);

}  // namespace tolvane::gen
