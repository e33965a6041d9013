#include "engine/input_session.h"

#include "engine/engine.h"
#include "receiver/edge_source.h"

namespace tolvane {

bool InputSession::Start(const std::string& input, const InputOptions& options, bool realtime) {
    Stop();
    input_ = input;
    options_ = options;
    realtime_ = realtime;
    owned_ = SelectInput(input, options, engine_.settings(), error_);
    if (owned_ == nullptr) {
        state_ = SessionState::Failed;
        return false;
    }
    source_ = owned_.get();
    return Attach();
}

bool InputSession::Start(EdgeSource& source, bool realtime) {
    Stop();
    input_.clear();
    owned_.reset();
    source_ = &source;
    realtime_ = realtime;
    return Attach();
}

bool InputSession::Attach() {
    error_.clear();
    // An IQ band's channels each get a receiver of their own.
    engine_.UseReceivers(source_->Channels() > 0);
    owed_.assign(engine_.ReceiverCount(), 0.0);
    tickStarted_ = false;
    starved_ = false;
    overrunsSeen_ = overrunsTold_ = engine_.Overruns();
    const AttachStatus status = source_->AttachChannels(engine_.Rings());
    if (!status.Ok()) {
        error_ = status.Describe();
        state_ = SessionState::Failed;
        return false;
    }
    state_ = SessionState::Running;
    return true;
}

void InputSession::PassNotices() {
    MessageSink& sink = noticeSink_ ? *noticeSink_ : engine_.World().messages;
    for (const std::string& notice : source_->TakeNotices()) sink.ShowMessage(notice);
}

void InputSession::TellOverruns(bool ending) {
    const std::uint64_t overruns = engine_.Overruns();
    if (overruns != overrunsSeen_) {
        overrunsSeen_ = overruns;
        if (!ending) return;  // still losing: tell the whole burst at once
    }
    if (overrunsSeen_ == overrunsTold_) return;
    engine_.World().messages.ShowMessage("Input overrun: " + std::to_string(overrunsSeen_ - overrunsTold_) +
                                         " edges lost, the decoder fell behind the input");
    overrunsTold_ = overrunsSeen_;
}

SessionState InputSession::Poll() {
    if (state_ != SessionState::Running) return state_;
    PassNotices();
    TellOverruns(false);
    if (realtime_) {
        // Read before the drain: whatever the source wrote before it
        // finished is in the ring by then.
        const bool finished = source_->Finished();
        engine_.Tick();
        if (finished && RingsEmpty()) End();
        return state_;
    }
    if (!tickStarted_) {
        engine_.TimerHooks();
        for (double& owed : owed_) owed += kEdgeTicksPerTimerTick;
        tickStarted_ = true;
    }
    // Each receiver drains its own 100 ms: the channels' edges reach their
    // rings at their own moments. A receiver whose ring stays dry after the
    // source finished has had all it will get.
    const bool finished = source_->Finished();
    bool owing = false;
    starved_ = false;
    for (std::size_t i = 0; i < owed_.size(); ++i) {
        owed_[i] -= engine_.ReceiverAt(i).DrainEdgeRing(owed_[i]);
        if (owed_[i] <= 0) continue;
        owing = true;
        if (!(finished && engine_.ReceiverAt(i).Ring().Empty())) starved_ = true;
    }
    if (starved_) return state_;
    if (owing && finished && RingsEmpty()) {
        End();
    } else {
        tickStarted_ = false;
    }
    return state_;
}

bool InputSession::RingsEmpty() {
    for (std::size_t i = 0; i < engine_.ReceiverCount(); ++i) {
        if (!engine_.ReceiverAt(i).Ring().Empty()) return false;
    }
    return true;
}

void InputSession::End() {
    source_->Detach();
    PassNotices();
    TellOverruns(true);
    error_ = source_->RuntimeError();
    engine_.FinishInput();
    state_ = error_.empty() ? SessionState::Ended : SessionState::Failed;
}

void InputSession::Stop() {
    if (state_ == SessionState::Running) {
        source_->Detach();
        error_ = source_->RuntimeError();
    }
    state_ = SessionState::Idle;
    starved_ = false;
}

void InputSession::ApplySlicing() {
    if (source_ != nullptr) source_->SetSlicing(SlicerOptionsFor(engine_.settings()));
}

bool InputSession::Restart() {
    if (source_ == nullptr) return false;
    if (!input_.empty()) return Start(std::string(input_), options_, realtime_);
    Stop();
    return Attach();
}

}  // namespace tolvane
