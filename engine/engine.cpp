#include "engine/engine.h"

#include "receiver/edge_codec.h"
#include "receiver/input_select.h"

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
      charWidth_(kDefaultCharWidth),
      lineWidth_(LineWidthFor(settings_.xSize, kDefaultCharWidth)),
      ring_(ringCapacity),
      title_(world_.title),
      files_(world_.files, world_.fileStatus),
      panes_(settings_),
      log_(settings_, files_),
      filters_(settings_, world_, files_, panes_.Filter()),
      records_(world_.clock),
      output_(settings_, world_.clock, panes_, log_, filters_, records_),
      context_{settings_, chain_, title_, bch_, output_, stats_, world_.clock},
      pocsag_(context_),
      flex_(context_),
      gsc_(context_),
      recovery_(settings_, chain_, title_, *this),
      keepAlive_(settings_, world_.clock, world_.sound, world_.commands, pending_),
      reports_(settings_, stats_, world_.clock, files_, &keepAlive_, this) {
    panes_.CreatePanes(lineWidth_);
    if (settings_.LogFileEnabled) log_.Open(DateFileName(world_.clock.Local()));
    reports_.OpenFiles();
    stats_.HourlyStats.Clear();
    stats_.DailyStats.Clear();
    // Every decoded page, counted or only noted, restarts the watch period.
    stats_.listener = &keepAlive_;
    keepAlive_.SetAlarmListener(this);
    keepAlive_.Start();
    reports_.Start();
}

Engine::~Engine() {
    stats_.listener = nullptr;
    log_.Close();
    reports_.CloseFiles();
}

void Engine::DayChanged(const LocalTime& now) {
    if (settings_.LogFileEnabled && settings_.LogFileUseDate) log_.Open(DateFileName(now));
}

void Engine::AlarmRaised(std::string_view text) {
    if (records_.Active()) records_.EmitAlarm(text);
}

void Engine::SetRecordSink(RecordSink* sink, const std::string& receiver) {
    records_.SetSink(sink, receiver);
    output_.RecordSinkChanged();
    reports_.records = sink;
}

void Engine::TimerHooks() {
    world_.clock.TimerTick();
    log_.FlushTick();
    filters_.FlushTick();
    keepAlive_.KeepAliveTimerTick();
    reports_.StatClockCheck();
    title_.HoldTick();
    flex_.ExpireFragments();
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
        SplitRun(static_cast<std::uint64_t>(kEdgeTicksPerTimerTick), 0,
                 [this](EdgeEntry entry) { recovery_.ProcessEntry(entry.duration, entry.lineState); });
    }
    // What is still waiting for a fragment will not get it now.
    flex_.FlushFragments();
}

void PendingMessages::ShowMessage(std::string_view text) {
    if (messages_.size() == kLimit) messages_.erase(messages_.begin());
    messages_.emplace_back(text);
}

std::vector<std::string> PendingMessages::Take() {
    std::vector<std::string> taken;
    taken.swap(messages_);
    return taken;
}

void Engine::ShowPendingMessages() {
    for (const std::string& message : pending_.Take()) world_.messages.ShowMessage(message);
}

void Engine::SetPaneGeometry(std::int32_t windowWidth, std::int32_t charWidth) {
    settings_.xSize = windowWidth;
    charWidth_ = charWidth;
    const std::uint32_t width = LineWidthFor(windowWidth, charWidth);
    if (width == lineWidth_) return;
    lineWidth_ = width;
    panes_.ResizePanes(lineWidth_);
}

SettingsEffect Engine::ApplySettings(const Settings& next) {
    const Settings old = settings_;
    settings_ = next;
    SettingsEffect effect;

    // A decoder switched off must not keep the others locked out.
    if (!next.DecodeFlex) chain_.FlexLock = false;
    if (!next.DecodeGolay) chain_.GolayLock = false;
    if (!next.DecodePocsag) chain_.PocsagHold = 0;
    // The decoders and the receiver read the levels and switches as they
    // go; only the input and the audio slicing are set when it is attached.
    effect.restartInput = !(next.Input == old.Input);
    effect.resliceInput = !(SlicerOptionsFor(next) == SlicerOptionsFor(old));

    if (next.Pane1Size != old.Pane1Size) panes_.SetScrollback(panes_.Message(), next.Pane1Size);
    if (next.Pane2Size != old.Pane2Size) panes_.SetScrollback(panes_.Filter(), next.Pane2Size);
    if (next.xSize != old.xSize) {
        settings_.xSize = old.xSize;
        SetPaneGeometry(next.xSize, charWidth_);
    }

    if (next.LogFileEnabled != old.LogFileEnabled || next.LogFile != old.LogFile ||
        next.LogFileUseDate != old.LogFileUseDate) {
        log_.Close();
        if (next.LogFileEnabled) log_.Open(DateFileName(world_.clock.Local()));
    }
    if (next.FilterFileEnabled != old.FilterFileEnabled || next.FilterFile != old.FilterFile ||
        next.FilterFileUseDate != old.FilterFileUseDate || next.Filters != old.Filters) {
        // The filter chosen for the page being written may be gone.
        output_.ForgetCapcodeFilter();
        filters_.PrepareOutputName();
    }
    if (next.StatFileEnabled != old.StatFileEnabled || next.StatFile != old.StatFile ||
        next.StatFileUseDate != old.StatFileUseDate) {
        reports_.ReopenStatFile();
    }
    if (next.StatCSVFileEnabled != old.StatCSVFileEnabled || next.StatCSVFile != old.StatCSVFile ||
        next.StatCSVFileUseDate != old.StatCSVFileUseDate) {
        reports_.ReopenCsvFile();
    }
    if (next.KeepAliveStart != old.KeepAliveStart || next.KeepAliveStop != old.KeepAliveStop ||
        next.KeepAliveTimeout != old.KeepAliveTimeout) {
        keepAlive_.Reconfigure();
    }
    return effect;
}

}  // namespace tolvane
