#include "app/desktop/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace tolvane::desktop {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A signal handler can reach nothing but process state: the pipe's write
// end, set while a QuitSignals exists.
volatile sig_atomic_t gWakeFd = -1;

void OnQuitSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (gWakeFd >= 0) (void)!::write(gWakeFd, &byte, 1);
    errno = saved;
}

// A signal ignored when the program started (nohup, a background job)
// stays ignored.
void SetHandlers(void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    for (const int signal : kQuitSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> quit, QObject* parent) : QObject(parent), quit_(std::move(quit)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their default action
    gWakeFd = pipe_[1];
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::Arrived);
    SetHandlers(OnQuitSignal, SA_RESTART | SA_RESETHAND);
}

QuitSignals::~QuitSignals() {
    if (pipe_[0] < 0) return;
    SetHandlers(SIG_DFL, 0);
    gWakeFd = -1;
    delete notifier_;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void QuitSignals::Arrived() {
    char bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    if (quit_) quit_();
}

}  // namespace tolvane::desktop
