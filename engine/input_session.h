// One input attached to an engine and driven from a timer: the desktop
// program's 100 ms timer calls Poll, and so does the command-line decoder's
// loop. Attaching, finishing a recording and reporting a failure live here
// and nowhere else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "receiver/input_select.h"

namespace tolvane {

class Engine;
class EdgeSource;
class MessageSink;

enum class SessionState {
    Idle,     // nothing attached (not started, or stopped)
    Running,
    Ended,    // the input ended; the last page was completed
    Failed,   // it could not be attached or failed while running: Error()
};

class InputSession {
public:
    explicit InputSession(Engine& engine) : engine_(engine) {}
    ~InputSession() { Stop(); }

    InputSession(const InputSession&) = delete;
    InputSession& operator=(const InputSession&) = delete;

    // Chooses the source for an input name under the engine's current
    // settings and attaches it. realtime: each Poll is one wall-clock tick
    // and drains whatever has arrived (live input, a paced recording);
    // otherwise each Poll drains the next 100 ms of recording. False (state
    // Failed, one line in Error()) when it cannot be used.
    bool Start(const std::string& input, const InputOptions& options, bool realtime);
    // The same for a source made by the caller, which outlives the session.
    bool Start(EdgeSource& source, bool realtime);

    // One timer tick; returns the state after it. When the input ends it is
    // detached and the engine finishes its last page; when it failed, the
    // state is Failed and Error() says why.
    SessionState Poll();

    // Detaches without finishing the recording; state Idle. Safe at any time.
    void Stop();

    // Stops and starts again with the same input and the engine's current
    // settings (a recording replayed from its start).
    bool Restart();

    // The input slices audio by the engine's current settings from now on
    // (levels, the fastest enabled decoder) and goes on where it is.
    void ApplySlicing();

    // What the source tells of its input while it runs (damaged audio
    // skipped, the receiver's frequency error estimated) goes to `sink`
    // instead of the world's messages: a window shows it with the input's
    // state rather than in a box. nullptr: the world's messages.
    void SetNoticeSink(MessageSink* sink) { noticeSink_ = sink; }

    SessionState State() const { return state_; }
    const std::string& Error() const { return error_; }
    // A recording's last Poll found the ring dry before its 100 ms of
    // recording: the source's thread has not caught up yet.
    bool Starved() const { return starved_; }
    // The source running or ended (else nullptr), for a client that shows
    // more of it than its edges.
    const EdgeSource* Source() const {
        return state_ == SessionState::Running || state_ == SessionState::Ended ? source_ : nullptr;
    }

private:
    bool Attach();
    void End();
    bool RingsEmpty();
    // Hands what the source told (damaged audio skipped) to the messages.
    void PassNotices();
    // Tells of edges a live source lost to a full ring, once per burst of
    // losses: when a poll finds no new ones, or when the input ends.
    void TellOverruns(bool ending);

    Engine& engine_;
    MessageSink* noticeSink_ = nullptr;
    EdgeSource* source_ = nullptr;
    std::unique_ptr<EdgeSource> owned_;
    std::string input_;  // empty for a caller's source
    InputOptions options_;
    bool realtime_ = true;
    SessionState state_ = SessionState::Idle;
    std::string error_;
    bool starved_ = false;
    std::vector<double> owed_;  // recorded ticks each receiver still has to drain in the current tick
    bool tickStarted_ = false;
    std::uint64_t overrunsSeen_ = 0;  // the ring's count at the last poll
    std::uint64_t overrunsTold_ = 0;
};

}  // namespace tolvane
