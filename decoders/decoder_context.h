// What a protocol decoder works with: the settings it reads, the receiver
// clocks it steers, the codeword corrector, the page writer, the statistics,
// and the clock that times fragmented messages.
#pragma once

namespace tolvane {

struct Settings;
class ClockControl;
class Bch;
class PageWriter;
class Statistics;
class WallClock;

struct DecoderContext {
    const Settings& settings;
    ClockControl& receiver;
    Bch& bch;
    PageWriter& writer;
    Statistics& stats;
    const WallClock& clock;
};

}  // namespace tolvane
