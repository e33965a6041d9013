#include "engine/engine.h"

namespace tolvane {

namespace {

// The pane font's average character width in pixels when no window measures
// it (the command-line decoder): a 9-point fixed font.
constexpr std::int32_t kDefaultCharWidth = 7;

}  // namespace

std::uint32_t Engine::LineWidthFor(std::int32_t windowWidth, std::int32_t charWidth) {
    if (charWidth <= 0) charWidth = kDefaultCharWidth;
    const std::int32_t cells = windowWidth / charWidth - 6;
    // A window narrower than seven characters still gets one usable cell.
    return cells < 1 ? 1u : static_cast<std::uint32_t>(cells);
}

Engine::Engine(const Settings& settings, OutsideWorld world, std::size_t ringCapacity)
    : settings_(settings),
      world_(world),
      ring_(ringCapacity),
      title_(world_.title),
      output_(settings_, world_),
      context_{settings_, chain_, title_, bch_, output_, stats_, world_.clock},
      pocsag_(context_),
      flex_(context_),
      gsc_(context_),
      recovery_(settings_, chain_, title_, *this),
      keepAlive_(settings_, world_.clock, world_.sound, world_.commands, world_.messages),
      reports_(settings_, stats_, output_, world_.clock, output_.Files(), &keepAlive_) {
    output_.CreatePanes(LineWidthFor(settings_.xSize, kDefaultCharWidth));
    if (settings_.LogFileEnabled) output_.OpenLog(DateFileName(world_.clock.Local()));
    reports_.OpenFiles();
    stats_.HourlyStats.Clear();
    stats_.DailyStats.Clear();
    // Every decoded page, counted or only noted, restarts the watch period.
    stats_.listener = &keepAlive_;
    keepAlive_.Start();
    reports_.Start();
}

Engine::~Engine() {
    stats_.listener = nullptr;
    output_.CloseLog();
    reports_.CloseFiles();
}

void Engine::TimerHooks() {
    world_.clock.TimerTick();
    output_.FlushTick();
    keepAlive_.KeepAliveTimerTick();
    reports_.StatClockCheck();
    title_.HoldTick();
}

double Engine::DrainEdgeRing(double budgetTicks) {
    return recovery_.DrainEdgeRing(ring_, budgetTicks);
}

void Engine::Tick() {
    TimerHooks();
    DrainEdgeRing();
}

void Engine::FinishInput() {
    // 2.5 s covers the longest hold (600 POCSAG bits at 512 bit/s) and a
    // FLEX frame.
    const int ticks = 25;
    for (int t = 0; t < ticks; ++t) {
        TimerHooks();
        double left = kEdgeTicksPerTimerTick;
        while (left > 0) {
            const double part = left > 0xFFFF ? 0xFFFF : left;
            recovery_.ProcessEntry(static_cast<std::uint16_t>(part), 0);
            left -= part;
        }
    }
}

}  // namespace tolvane
