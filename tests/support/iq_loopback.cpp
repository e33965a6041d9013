#include "support/iq_loopback.h"

#include "engine/input_runner.h"
#include "support/loopback.h"

namespace tolvane::testing {

IqDecoded DecodeIq(const std::string& input, const IqInputOptions& options) {
    const int levels = options.channels.empty() ? 2 : options.channels.front().levels;
    TestRig rig(Untimed(levels));
    IqDecoded decoded;
    std::unique_ptr<IqSource> source = SelectIqInput(input, options, rig.engine->settings(), decoded.error);
    if (source == nullptr) return decoded;
    RunInput(*rig.engine, *source, RunOptions(), decoded.error);
    decoded.lines = rig.messageLines;
    return decoded;
}

}  // namespace tolvane::testing
