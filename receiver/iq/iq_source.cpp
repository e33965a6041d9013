#include "receiver/iq/iq_source.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tolvane {

namespace {

constexpr std::size_t kBlock = 16384;

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
    try {
        BankOptions bank;
        bank.sampleRate = rate;
        bank.maxBlock = kBlock;
        std::vector<ChannelTuning> tunings;
        std::vector<EdgeRing*> used;
        for (std::size_t i = 0; i < options_.channels.size(); ++i) {
            if (rings[i] == nullptr) continue;  // nobody decodes this channel
            const IqChannelPlan& plan = options_.channels[i];
            ChannelTuning tuning;
            const double ppm = input_->Live() ? 0.0 : options_.ppm;
            tuning.offsetHz = ChannelOffsetHz(plan.frequencyHz, centre, ppm);
            if (std::fabs(tuning.offsetHz) > rate / 2) {
                Detach();
                status.error = AttachError::BadFormat;
                status.detail = input_->Name() + ": channel " + (plan.name.empty() ? std::to_string(i + 1) : plan.name) + " at " +
                                std::to_string(static_cast<long long>(plan.frequencyHz)) +
                                " Hz lies outside the IQ band (centre " +
                                std::to_string(static_cast<long long>(centre)) + " Hz, " +
                                std::to_string(static_cast<long long>(rate)) + " samples/s)";
                return status;
            }
            tuning.slicer = plan.levels == 4 ? options_.fourLevel : options_.twoLevel;
            tunings.push_back(tuning);
            used.push_back(rings[i]);
        }
        rings_ = used;
        bank_ = std::make_unique<ChannelBank>(bank, tunings);
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
            bank_->Flush();
            Deliver();
            if (got < 0) thread_.Fail(error);
            break;
        }
        samplesRead += static_cast<double>(got);
        bank_->Process(std::span<const std::complex<float>>(buffer_.data(), static_cast<std::size_t>(got)));
        if (!Deliver()) break;
    }
}

}  // namespace tolvane
