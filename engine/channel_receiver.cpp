#include "engine/channel_receiver.h"

#include <algorithm>

#include "receiver/edge_codec.h"

namespace tolvane {

void SharedTitle::Channel::SetTitle(std::string_view title) {
    SharedTitle& shared = shared_;
    const std::string_view idle = DecodeModeTitleText(mode_code::Idle);
    if (title == idle) {
        // Another receiver's lock stays in the title.
        if (shared.owner_ != this) return;
        shared.owner_ = nullptr;
        shared.window_.SetTitle(title);
        return;
    }
    shared.owner_ = this;
    // " Tolvane - POCSAG 1200" becomes " Tolvane - NYC1: POCSAG 1200".
    const std::string_view mode = title.substr(std::min(title.size(), idle.size() + 3));
    shared.text_.assign(idle);
    shared.text_ += " - ";
    shared.text_ += label_;
    shared.text_ += ": ";
    shared.text_ += mode;
    shared.window_.SetTitle(shared.text_);
}

ChannelReceiver::ChannelReceiver(const Settings& station, const StationParts& parts, TitleSink& title,
                                 std::size_t ringCapacity)
    : ChannelReceiver(station, std::nullopt, parts, title, nullptr, ringCapacity) {}

ChannelReceiver::ChannelReceiver(const Settings& station, std::size_t index, const StationParts& parts,
                                 TitleSink& window, SharedTitle& shared, std::size_t ringCapacity)
    : ChannelReceiver(station, index, parts, window, &shared, ringCapacity) {}

ChannelReceiver::ChannelReceiver(const Settings& station, std::optional<std::size_t> index, const StationParts& parts,
                                 TitleSink& window, SharedTitle* shared, std::size_t ringCapacity)
    : channel_(index ? std::optional<ChannelRecord>(station.Iq.Channels.at(*index)) : std::nullopt),
      label_(index ? ChannelLabel(*channel_, *index) : std::string()),
      several_(index && station.Iq.Channels.size() > 1),
      own_(channel_ ? ChannelSettings(station, *channel_) : Settings()),
      settings_(channel_ ? own_ : station),
      ring_(ringCapacity),
      title_(several_ ? sharedTitle_.emplace(*shared, label_) : window),
      output_(settings_, parts.clock, parts.panes, parts.log, parts.filters, parts.records),
      context_{settings_, chain_, title_, bch_, output_, several_ ? stats_ : parts.stats, parts.clock},
      pocsag_(context_),
      flex_(context_),
      gsc_(context_),
      recovery_(settings_, chain_, title_, *this) {
    if (channel_) output_.SetChannel(label_, channel_->FrequencyHz);
    if (several_) {
        output_.SetLinePrefix(label_);
        stats_.total = &parts.stats;
    }
}

void ChannelReceiver::ApplySettings(const Settings& station) {
    if (channel_) own_ = ChannelSettings(station, *channel_);
    // A decoder switched off must not keep the others locked out.
    if (!settings_.DecodeFlex) chain_.FlexLock = false;
    if (!settings_.DecodeGolay) chain_.GolayLock = false;
    if (!settings_.DecodePocsag) chain_.PocsagHold = 0;
}

void ChannelReceiver::TimerHooks() {
    title_.HoldTick();
    flex_.ExpireFragments();
}

double ChannelReceiver::DrainEdgeRing(double budgetTicks) { return recovery_.DrainEdgeRing(ring_, budgetTicks); }

void ChannelReceiver::FeedQuietTick() {
    SplitRun(static_cast<std::uint64_t>(kEdgeTicksPerTimerTick), 0,
             [this](EdgeEntry entry) { recovery_.ProcessEntry(entry.duration, entry.lineState); });
}

}  // namespace tolvane
