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
    owed_ = 0;
    tickStarted_ = false;
    starved_ = false;
    overrunsSeen_ = overrunsTold_ = engine_.Ring().Overruns();
    const AttachStatus status = source_->Attach(engine_.Ring());
    if (!status.Ok()) {
        error_ = status.Describe();
        state_ = SessionState::Failed;
        return false;
    }
    state_ = SessionState::Running;
    return true;
}

void InputSession::PassNotices() {
    for (const std::string& notice : source_->TakeNotices()) engine_.World().messages.ShowMessage(notice);
}

void InputSession::TellOverruns(bool ending) {
    const std::uint64_t overruns = engine_.Ring().Overruns();
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
        if (finished && engine_.Ring().Empty()) End();
        return state_;
    }
    if (!tickStarted_) {
        engine_.TimerHooks();
        owed_ += kEdgeTicksPerTimerTick;
        tickStarted_ = true;
    }
    owed_ -= engine_.DrainEdgeRing(owed_);
    starved_ = owed_ > 0;
    if (!starved_) {
        tickStarted_ = false;
    } else if (source_->Finished() && engine_.Ring().Empty()) {
        starved_ = false;
        End();
    }
    return state_;
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
