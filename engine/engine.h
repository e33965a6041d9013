// A station: the settings, the panes, the log, the filter actions, the page
// records, the statistics and their reports, the keep-alive watch, the
// files and the messages, shared by its receivers (channel_receiver.h):
// one for its input, or one per channel of an IQ band. Several engines can
// live in one process; a test builds a fresh one.
#pragma once

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/channel_receiver.h"
#include "world/outside_world.h"
#include "monitor/keep_alive.h"
#include "monitor/stat_counters.h"
#include "monitor/stat_reports.h"
#include "output/output.h"
#include "receiver/decode_mode.h"
#include "receiver/edge_ring.h"
#include "receiver/symbol_recovery.h"
#include "settings/settings.h"

namespace tolvane {

// Messages raised inside a tick wait here until the client takes them after
// the tick, so that a modal box cannot re-enter the tick.
class PendingMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override;
    std::vector<std::string> Take();

    // An unattended client that never takes them loses the oldest beyond this.
    static constexpr std::size_t kLimit = 64;

private:
    std::vector<std::string> messages_;
};

// What a client must do after ApplySettings.
struct SettingsEffect {
    // The input itself changed: attach the new one.
    bool restartInput = false;
    // The audio slicer's levels or averaging depend on a changed setting:
    // the running input slices with the new ones (InputSession::ApplySlicing).
    bool resliceInput = false;
};

class Engine : private DayChangeListener, private AlarmListener {
public:
    // Does what the main window does when it is created: panes, clocks,
    // counters, files and monitors are made ready.
    Engine(const Settings& settings, OutsideWorld world, std::size_t ringCapacity = 1u << 16);
    ~Engine() override;

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // One 100 ms timer tick: the timed work, then everything in the rings.
    void Tick();
    // The timed part of a tick, in order: the clock's tick (a recording's
    // clock moves on), flush countdowns, keep-alive, statistics clock check,
    // and each receiver's FLEX title hold.
    void TimerHooks();
    // Drains every receiver's ring (each up to budgetTicks of recorded
    // time). Returns the ticks the first receiver drained.
    double DrainEdgeRing(double budgetTicks = std::numeric_limits<double>::infinity());

    // The receivers: one per channel of the settings' IQ band (perChannel),
    // else one that reads the station's settings. Made anew when that
    // changes, so only between inputs (InputSession does it as it attaches
    // one); otherwise they go on as they are.
    void UseReceivers(bool perChannel);
    std::size_t ReceiverCount() const { return receivers_.size(); }
    ChannelReceiver& ReceiverAt(std::size_t index) { return *receivers_.at(index); }
    // Every receiver's ring, in channel order, for IqSource::AttachChannels.
    std::vector<EdgeRing*> Rings();
    // Edges lost to full rings, all receivers together.
    std::uint64_t Overruns() const;

    // Feeds a steady line state long enough for every decoder to time out,
    // so that the last page of a recording is completed.
    void FinishInput();

    // Makes new settings (from the dialogs) take effect: a decoder switched
    // off loses its lock, changed scrollback sizes and row widths make the
    // panes again, and the log, filter and statistics files whose settings
    // changed are reopened. A changed channel list restarts the input
    // (its receivers are made again as it is attached).
    SettingsEffect ApplySettings(const Settings& next);
    // The main window's width and its font's character width: the row
    // width of both panes (LineWidthFor). The panes are made again (and
    // cleared) when it changes.
    void SetPaneGeometry(std::int32_t windowWidth, std::int32_t charWidth);
    std::uint32_t LineWidth() const { return lineWidth_; }

    // Hands the messages raised by the last ticks (the off-the-air alarm),
    // oldest first, to the world's message sink. Called by the client after
    // a tick, never inside one.
    void ShowPendingMessages();

    // Read only: ApplySettings is the one way they change.
    const Settings& settings() const { return settings_; }
    // The first receiver's parts (the only one's, without channels).
    EdgeRing& Ring() { return First().Ring(); }
    ReceiverChain& Chain() { return First().Chain(); }
    DecodeModeTitle& Title() { return First().Title(); }
    Bch& Codeword() { return First().Codeword(); }
    // The line builder the decoders write through, and the shared parts it
    // writes to.
    Output& output() { return First().output(); }
    OutputPanes& Panes() { return panes_; }
    PageLog& Log() { return log_; }
    Statistics& Stats() { return stats_; }
    PocsagDecoder& Pocsag() { return First().Pocsag(); }
    FlexDecoder& Flex() { return First().Flex(); }
    GscDecoder& Gsc() { return First().Gsc(); }
    // What the symbol clocks have processed: a recording's clock follows it.
    const SymbolRecovery& Recovery() const { return receivers_.front()->Recovery(); }
    // Pages not shown because they repeated one within RepeatWindow.
    std::uint64_t FoldedRepeats() const;
    StatReports& Reports() { return reports_; }
    // The keep-alive watch; a client without a user to acknowledge the
    // alarm calls Watch().SetAutoAcknowledge(true).
    KeepAlive& Watch() { return keepAlive_; }
    OutsideWorld& World() { return world_; }

    // Machine-readable output: every described page line and every
    // keep-alive alarm as a JSON record, under this receiver name; the
    // statistics report notes what the sink had to drop. nullptr = none.
    // The sink outlives the engine or is taken away first.
    void SetRecordSink(RecordSink* sink, const std::string& receiver);

    // Cells per row for a main-window width in pixels and a character width.
    static std::uint32_t LineWidthFor(std::int32_t windowWidth, std::int32_t charWidth);

private:
    ChannelReceiver& First() { return *receivers_.front(); }
    // A new day: a date-named log moves on to the new date.
    void DayChanged(const LocalTime& now) override;
    // A keep-alive alarm goes to the record sink beside the pages.
    void AlarmRaised(std::string_view text) override;

    Settings settings_;
    OutsideWorld world_;
    PendingMessages pending_;
    std::int32_t charWidth_;
    std::uint32_t lineWidth_;
    std::size_t ringCapacity_;
    Statistics stats_;
    // Every output file is opened through this, the statistics too, so
    // that its troubles are told.
    FileWatch files_;
    OutputPanes panes_;
    PageLog log_;
    FilterActions filters_;
    RecordEmitter records_;
    SharedTitle title_;
    std::vector<std::unique_ptr<ChannelReceiver>> receivers_;
    std::optional<std::vector<ChannelRecord>> channelsInUse_;  // nothing: the one receiver of no band
    // The watch comes first: the reports tell it of every hour change.
    KeepAlive keepAlive_;
    StatReports reports_;
};

}  // namespace tolvane
