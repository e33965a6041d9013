// SIGTERM, SIGINT and SIGHUP end the desktop program the way its Exit
// command does, so that the settings are saved and the output files are
// flushed. The handler only writes a byte into a pipe; the event loop
// reads it and runs `quit`. A second signal of the same kind ends the
// program at once (the first restores the default action). Signals ignored
// at start-up, as under nohup, stay ignored.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tolvane::desktop {

class QuitSignals : public QObject {
public:
    // One per process: the handler reaches the pipe through the process.
    explicit QuitSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitSignals() override;

    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    void Arrived();

    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> quit_;
};

}  // namespace tolvane::desktop
