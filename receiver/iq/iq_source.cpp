#include "receiver/iq/iq_source.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace tolvane {

namespace {

constexpr std::size_t kBlock = 16384;
// The receiver's frequency error is looked for this far from the given one.
constexpr double kErrorRangePpm = 100;
constexpr double kEstimateEverySeconds = 0.25;
// How long the channels wait for the estimate at the start.
constexpr double kHoldSeconds = 1;
constexpr std::size_t kMostHeld = 2400000;

}  // namespace

double ChannelOffsetHz(double frequencyHz, double centreHz, double ppm) {
    return frequencyHz - centreHz * (1.0 + ppm * 1e-6);
}

IqSource::IqSource(std::unique_ptr<IqInput> input, IqSourceOptions options)
    : input_(std::move(input)), options_(std::move(options)) {}

IqSource::~IqSource() { Detach(); }

AttachStatus IqSource::Attach(EdgeRing& ring) {
    std::vector<EdgeRing*> rings(options_.channels.size(), nullptr);
    if (!rings.empty()) rings[0] = &ring;
    return AttachChannels(rings);
}

AttachStatus IqSource::AttachChannels(const std::vector<EdgeRing*>& rings) {
    Detach();
    AttachStatus status;
    if (options_.channels.empty() || rings.size() != options_.channels.size()) {
        status.error = AttachError::BadFormat;
        status.detail = input_->Name() + ": an IQ input needs at least one channel (--channel FREQ)";
        return status;
    }
    double rate = options_.sampleRate;
    double centre = options_.centreHz;
    double inputRate = 0, inputCentre = 0;
    status = input_->Open(inputRate, inputCentre);
    if (!status.Ok()) return status;
    opened_ = true;
    if (rate <= 0) rate = inputRate;
    if (centre <= 0) centre = inputCentre;
    if (!(rate >= kMinIqSampleRate && rate <= 100e6)) {
        Detach();
        status.error = AttachError::BadFormat;
        status.detail = input_->Name() + (rate <= 0 ? std::string(": an IQ recording needs its sample rate (--sample-rate HZ)")
                                  : ": IQ input needs a sample rate between 48000 Hz and 100 MHz, not " +
                                        std::to_string(static_cast<long long>(rate)));
        return status;
    }
    sampleRate_ = rate;
    centreHz_ = centre;
    try {
        const double ppm = input_->Live() ? 0.0 : options_.ppm;  // a live device corrects the given ppm itself
        planOffsetsHz_.clear();
        for (const IqChannelPlan& plan : options_.channels)
            planOffsetsHz_.push_back(ChannelOffsetHz(plan.frequencyHz, centre, ppm));
        spectrum_ = std::make_unique<BandSpectrum>(rate, centre, BandSpectrum::BinsFor(rate));
        spectrum_->SetChannels(planOffsetsHz_, options_.ppm, false);
        tuner_.reset();
        held_ = {};
        holding_ = planOffsetsHz_.size() >= 2 && centre > 0;
        if (holding_) {
            tuner_ = std::make_unique<BandTuner>(planOffsetsHz_, spectrum_->BinHz(), spectrum_->Bins(),
                                                 std::min(centre * kErrorRangePpm * 1e-6, rate / 2));
            held_.reserve(std::min(kMostHeld, static_cast<std::size_t>(kHoldSeconds * rate)));
        }
        nextEstimate_ = kEstimateEverySeconds;
        BankOptions bank;
        bank.sampleRate = rate;
        bank.maxBlock = kBlock;
        std::vector<ChannelTuning> tunings;
        std::vector<EdgeRing*> used;
        bankIndex_.assign(options_.channels.size(), SIZE_MAX);
        for (std::size_t i = 0; i < options_.channels.size(); ++i) {
            if (rings[i] == nullptr) continue;  // nobody decodes this channel
            bankIndex_[i] = used.size();
            const IqChannelPlan& plan = options_.channels[i];
            ChannelTuning tuning;
            tuning.offsetHz = planOffsetsHz_[i];
            if (std::fabs(tuning.offsetHz) > rate / 2) {
                Detach();
                status.error = AttachError::ChannelOutsideBand;
                status.detail = input_->Name() + ": channel " + (plan.name.empty() ? std::to_string(i + 1) : plan.name) + " at " +
                                std::to_string(static_cast<long long>(plan.frequencyHz)) +
                                " Hz lies outside the IQ band (centre " +
                                std::to_string(static_cast<long long>(centre)) + " Hz, " +
                                std::to_string(static_cast<long long>(rate)) + " samples/s)";
                // Nothing names the centre: the channels were read as offsets from 0 Hz.
                if (centre == 0) status.detail += "; give the receiver's centre frequency (--center HZ, or IqCenter)";
                return status;
            }
            tuning.slicer = plan.levels == 4 ? options_.fourLevel : options_.twoLevel;
            tunings.push_back(tuning);
            used.push_back(rings[i]);
        }
        rings_ = used;
        for (EdgeRing* ring : rings_) ring->ClearSecondDecision();  // a new input: its receivers ask again
        bank_ = std::make_unique<ChannelBank>(bank, tunings);
        {
            std::lock_guard lock(readingsMutex_);
            readings_.assign(options_.channels.size(), ChannelReading{});
        }
        buffer_.resize(kBlock);
        status = thread_.Start([this] { Run(); });
    } catch (const std::exception& e) {
        status.error = AttachError::OutOfMemory;
        status.detail = e.what();
    }
    if (!status.Ok()) Detach();
    return status;
}

void IqSource::Detach() {
    thread_.Stop();
    if (opened_) {
        input_->Close();
        opened_ = false;
    }
}

double IqSource::AudioRate() const { return bank_ ? bank_->AudioRate() : 0; }

bool IqSource::Spectrum(BandView& view) const { return spectrum_ && spectrum_->Snapshot(view); }

std::string IqSource::Notice() const {
    std::lock_guard lock(noticeMutex_);
    return notice_;
}

void IqSource::SetNotice(std::string text) {
    std::lock_guard lock(noticeMutex_);
    notice_ = std::move(text);
}

bool IqSource::Deliver() {
    for (std::size_t i = 0; i < rings_.size(); ++i) {
        std::vector<EdgeEntry>& edges = bank_->Edges(i);
        for (const EdgeEntry& entry : edges) {
            if (input_->Live()) {
                rings_[i]->Push(entry);  // a full ring counts an overrun
            } else if (!thread_.PushWhenRoom(*rings_[i], entry)) {
                return false;
            }
        }
        edges.clear();
    }
    return true;
}

void IqSource::Readings(std::vector<ChannelReading>& readings) const {
    std::lock_guard lock(readingsMutex_);
    readings = readings_;
}

void IqSource::PublishReadings() {
    std::unique_lock lock(readingsMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return;  // the next block brings fresh ones
    for (std::size_t i = 0; i < readings_.size(); ++i) {
        const std::size_t b = bankIndex_[i];
        if (b == SIZE_MAX) continue;
        readings_[i] = {true, bank_->SquelchOpen(b), bank_->CarrierDb(b), bank_->TuningOffsetHz(b)};
    }
}

bool IqSource::Decode(std::span<const std::complex<float>> samples) {
    for (std::size_t i = 0; i < rings_.size(); ++i) {
        AudioSlicer& slicer = bank_->Slicer(i);
        if (rings_[i]->SecondDecisionRequested()) slicer.StartSecondDecision();
        if (!input_->Live() && slicer.SecondDecisionWaiting() &&
            !thread_.WaitUntilDrained(*rings_[i], kSecondDecisionLead))
            return false;
    }
    bank_->Process(samples);
    PublishReadings();
    return Deliver();
}

bool IqSource::ReleaseHeld() {
    holding_ = false;
    for (std::size_t first = 0; first < held_.size(); first += kBlock) {
        const std::size_t count = std::min(kBlock, held_.size() - first);
        if (!Decode(std::span<const std::complex<float>>(held_.data() + first, count))) return false;
    }
    held_ = {};  // once: the channels run with the input from now on
    return true;
}

void IqSource::EstimateError() {
    const std::optional<BandShift> shift = tuner_->Estimate(spectrum_->PeakHold());
    if (!shift) return;
    tuner_.reset();
    bank_->Shift(shift->hz);
    for (double& offset : planOffsetsHz_) offset += shift->hz;
    // The carriers sit lower than the plan says when the receiver tunes high.
    const double ppm = options_.ppm - shift->hz / centreHz_ * 1e6;
    spectrum_->SetChannels(planOffsetsHz_, ppm, true);
    char text[96];
    std::snprintf(text, sizeof text, "Receiver frequency error: %+.1f ppm (estimated from %zu carriers)", ppm,
                  shift->carriers);
    thread_.Tell(text);
}

bool IqSource::Reopen(const std::string& why) {
    input_->Close();
    opened_ = false;
    auto wait = std::chrono::seconds(1);
    for (;;) {
        SetNotice(why + "; trying again in " + std::to_string(wait.count()) + " s");
        if (!thread_.SleepUntil(std::chrono::steady_clock::now() + wait)) return false;
        double rate = 0, centre = 0;
        const AttachStatus status = input_->Open(rate, centre);
        if (status.Ok()) {
            opened_ = true;
            SetNotice({});
            return true;
        }
        wait = std::min(wait * 2, std::chrono::seconds(30));
    }
}

void IqSource::Run() {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    double samplesRead = 0;
    std::string error;
    while (!thread_.StopRequested()) {
        if (options_.paced && !input_->Live()) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(samplesRead / sampleRate_));
            if (!thread_.SleepUntil(due)) break;
        }
        const long got = input_->Read(buffer_.data(), buffer_.size(), thread_.StopFlag(), error);
        if (got < 0 && input_->Live()) {
            if (!Reopen(error)) break;
            continue;
        }
        if (got <= 0) {
            if (thread_.StopRequested()) break;
            // The end (or a damaged end): hand over everything decoded, then
            // say what was wrong.
            if (holding_ && !ReleaseHeld()) break;
            bank_->Flush();
            Deliver();
            if (got < 0) thread_.Fail(error);
            break;
        }
        samplesRead += static_cast<double>(got);
        const std::span<const std::complex<float>> block(buffer_.data(), static_cast<std::size_t>(got));
        spectrum_->Process(block);
        if (tuner_ && spectrum_->Seconds() >= nextEstimate_) {
            nextEstimate_ = spectrum_->Seconds() + kEstimateEverySeconds;
            EstimateError();
        }
        if (holding_) {
            const std::size_t room = held_.capacity() - held_.size();
            held_.insert(held_.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(std::min(room, block.size())));
            if (tuner_ && room > block.size()) continue;
            if (!ReleaseHeld()) break;
            if (room >= block.size()) continue;
            if (!Decode(block.subspan(room))) break;
            continue;
        }
        if (!Decode(block)) break;
    }
}

}  // namespace tolvane
