#include "engine/engine.h"

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
      ringCapacity_(ringCapacity),
      files_(world_.files, world_.fileStatus),
      panes_(settings_),
      log_(settings_, files_),
      filters_(settings_, world_, files_, panes_.Filter()),
      records_(world_.clock),
      title_(world_.title),
      keepAlive_(settings_, world_.clock, world_.sound, world_.commands, pending_),
      reports_(settings_, stats_, world_.clock, files_, &keepAlive_, this) {
    UseReceivers(false);
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

void Engine::UseReceivers(bool perChannel) {
    std::optional<std::vector<ChannelRecord>> wanted;
    if (perChannel && !settings_.Iq.Channels.empty()) wanted = settings_.Iq.Channels;
    if (!receivers_.empty() && wanted == channelsInUse_) return;
    channelsInUse_ = wanted;
    receivers_.clear();
    const StationParts parts{world_.clock, panes_, log_, filters_, records_, stats_};
    const std::size_t channels = perChannel ? settings_.Iq.Channels.size() : 0;
    for (std::size_t i = 0; i < channels; ++i) {
        receivers_.push_back(std::make_unique<ChannelReceiver>(settings_, i, parts, world_.title, title_, ringCapacity_));
    }
    if (receivers_.empty()) {
        receivers_.push_back(std::make_unique<ChannelReceiver>(settings_, parts, world_.title, ringCapacity_));
    }
    std::vector<ChannelStatistics> counts;
    if (receivers_.size() > 1) {
        for (const auto& receiver : receivers_) counts.push_back({receiver->Label(), &receiver->Stats()});
    }
    reports_.SetChannels(std::move(counts));
}

std::vector<EdgeRing*> Engine::Rings() {
    std::vector<EdgeRing*> rings;
    for (const auto& receiver : receivers_) rings.push_back(&receiver->Ring());
    return rings;
}

std::uint64_t Engine::Overruns() const {
    std::uint64_t overruns = 0;
    for (const auto& receiver : receivers_) overruns += receiver->Ring().Overruns();
    return overruns;
}

std::uint64_t Engine::FoldedRepeats() const {
    std::uint64_t folded = 0;
    for (const auto& receiver : receivers_) folded += receiver->output().FoldedRepeats();
    return folded;
}

void Engine::SetRecordSink(RecordSink* sink, const std::string& receiver) {
    records_.SetSink(sink, receiver);
    for (const auto& r : receivers_) r->output().RecordSinkChanged();
    reports_.records = sink;
}

void Engine::TimerHooks() {
    world_.clock.TimerTick();
    log_.FlushTick();
    filters_.FlushTick();
    keepAlive_.KeepAliveTimerTick();
    reports_.StatClockCheck();
    for (const auto& receiver : receivers_) receiver->TimerHooks();
}

double Engine::DrainEdgeRing(double budgetTicks) {
    double first = 0;
    for (std::size_t i = 0; i < receivers_.size(); ++i) {
        const double drained = receivers_[i]->DrainEdgeRing(budgetTicks);
        if (i == 0) first = drained;
    }
    return first;
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
        for (const auto& receiver : receivers_) receiver->FeedQuietTick();
    }
    // What is still waiting for a fragment will not get it now.
    for (const auto& receiver : receivers_) receiver->FlushFragments();
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

    for (const auto& receiver : receivers_) receiver->ApplySettings(settings_);
    // The decoders and the receiver read the levels and switches as they
    // go; only the input, its channels and the audio slicing are set when
    // it is attached.
    effect.restartInput = !(next.Input == old.Input) || !(next.Iq == old.Iq);
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
        for (const auto& receiver : receivers_) receiver->output().ForgetCapcodeFilter();
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
