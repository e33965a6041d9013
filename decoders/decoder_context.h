// What a protocol decoder works with: the settings it reads, the receiver
// chain it steers, the title, the codeword corrector, the emission
// operations, the statistics, and the clock for time-of-day headers.
#pragma once

namespace tolvane {

struct Settings;
struct ReceiverChain;
class DecodeModeTitle;
class Bch;
class Output;
class Statistics;
class WallClock;

struct DecoderContext {
    const Settings& settings;
    ReceiverChain& chain;
    DecodeModeTitle& title;
    Bch& bch;
    Output& output;
    Statistics& stats;
    const WallClock& clock;
};

}  // namespace tolvane
