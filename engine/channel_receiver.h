// One receiver of a station: the edge ring its input fills, the symbol
// clocks, the mode title, codeword correction, the line builder and the
// three decoders. A station (Engine) runs one for its input, or one per
// channel of an IQ band; the receivers write to the station's shared parts
// (panes, log, filter actions, records, statistics), each line whole.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>

#include "decoders/bch/bch.h"
#include "decoders/decoder_context.h"
#include "decoders/flex/flex_decoder.h"
#include "decoders/gsc/gsc_decoder.h"
#include "decoders/pocsag/pocsag_decoder.h"
#include "monitor/stat_counters.h"
#include "output/output.h"
#include "receiver/decode_mode.h"
#include "receiver/edge_ring.h"
#include "receiver/symbol_recovery.h"
#include "settings/settings.h"
#include "world/outside_world.h"

namespace tolvane {

// What the receivers of a station share.
struct StationParts {
    const WallClock& clock;
    OutputPanes& panes;
    PageLog& log;
    FilterActions& filters;
    RecordEmitter& records;
    Statistics& stats;
};

// The window title of a station with several receivers: it names the
// channel of the receiver that locked last, and goes back to idle only
// when that receiver does.
class SharedTitle {
public:
    explicit SharedTitle(TitleSink& window) : window_(window) {}

    // The title sink of one receiver, its channel called `label`.
    class Channel : public TitleSink {
    public:
        Channel(SharedTitle& shared, std::string label) : shared_(shared), label_(std::move(label)) {}
        void SetTitle(std::string_view title) override;

    private:
        SharedTitle& shared_;
        std::string label_;
    };

private:
    TitleSink& window_;
    const Channel* owner_ = nullptr;
    std::string text_;  // the title being set, reused
};

class ChannelReceiver : private DecoderInputs {
public:
    // The station's only receiver: it reads the station's settings as they
    // are at each call, and sets the window title itself.
    ChannelReceiver(const Settings& station, const StationParts& parts, TitleSink& title, std::size_t ringCapacity);
    // The receiver of channel `index` of the station's IQ band: its own
    // settings (ChannelSettings) and its channel in its records; when the
    // band has several channels, its name in front of its lines and in the
    // shared title.
    ChannelReceiver(const Settings& station, std::size_t index, const StationParts& parts, TitleSink& window,
                    SharedTitle& shared, std::size_t ringCapacity);
    ~ChannelReceiver() override = default;

    ChannelReceiver(const ChannelReceiver&) = delete;
    ChannelReceiver& operator=(const ChannelReceiver&) = delete;

    // New station settings: a channel's receiver takes its own from them
    // again; a decoder switched off loses its lock.
    void ApplySettings(const Settings& station);

    // The receiver's share of a timer tick: the FLEX title hold and the
    // fragments that waited too long.
    void TimerHooks();
    // Drains the ring (up to budgetTicks of recorded time); the ticks drained.
    double DrainEdgeRing(double budgetTicks = std::numeric_limits<double>::infinity());
    // One timer tick of steady line state, so that every decoder times out.
    void FeedQuietTick();
    // What still waits for a fragment will not get it now.
    void FlushFragments() { flex_.FlushFragments(); }

    // The channel decoded (IQ input), or nothing for the station's only
    // receiver.
    const std::optional<ChannelRecord>& Channel() const { return channel_; }
    // The channel's name, or its number from 1 when it has none; empty
    // for the station's only receiver.
    const std::string& Label() const { return label_; }
    // What a status line shows: the mode it is locked to (a mode_code).
    int ModeCode() const { return title_.ModeCode(); }

    const Settings& settings() const { return settings_; }
    // The counts of this receiver alone, when it is one of several
    // channels (they go on to the station's too); else the station's.
    Statistics& Stats() { return context_.stats; }
    EdgeRing& Ring() { return ring_; }
    ReceiverChain& Chain() { return chain_; }
    DecodeModeTitle& Title() { return title_; }
    Bch& Codeword() { return bch_; }
    Output& output() { return output_; }
    PocsagDecoder& Pocsag() { return pocsag_; }
    FlexDecoder& Flex() { return flex_; }
    GscDecoder& Gsc() { return gsc_; }
    const SymbolRecovery& Recovery() const { return recovery_; }

private:
    ChannelReceiver(const Settings& station, std::optional<std::size_t> index, const StationParts& parts,
                    TitleSink& window, SharedTitle* shared, std::size_t ringCapacity);
    void PocsagInputBit(char symbol) override { pocsag_.PocsagInputBit(symbol); }
    void FlexInputSymbol(std::uint8_t symbol) override { flex_.FlexInputSymbol(symbol); }
    void GolayInputBit(std::int8_t bit) override { gsc_.GolayInputBit(bit); }

    std::optional<ChannelRecord> channel_;
    std::string label_;  // the channel's name or number
    bool several_;       // one of several channels
    std::optional<SharedTitle::Channel> sharedTitle_;
    Settings own_;  // a channel's own settings
    const Settings& settings_;
    EdgeRing ring_;
    ReceiverChain chain_;
    DecodeModeTitle title_;
    Bch bch_;
    Statistics stats_;  // one of several channels: its own counts
    Output output_;
    DecoderContext context_;
    PocsagDecoder pocsag_;
    FlexDecoder flex_;
    GscDecoder gsc_;
    SymbolRecovery recovery_;
};

}  // namespace tolvane
