// Serial-port edge source: a level-slicer interface drives the modem-status
// lines CTS, DSR and DCD; each change is timestamped with a monotonic clock
// and the state that ended goes into the ring as (duration in 838.8 ns
// ticks, line-state byte).
//
// The port is opened without becoming the controlling terminal, DTR and RTS
// are raised (many interfaces draw their power from them), and a thread
// waits for modem-status changes (TIOCMIWAIT), then reads the lines
// (TIOCMGET). Entries are pushed without waiting: a full ring counts an
// overrun and the tick is never blocked.
//
// Stopping: TIOCMIWAIT has no timeout and closing the descriptor does not
// wake it, so Detach interrupts the waiting thread with a signal (a
// handler that does nothing, installed without SA_RESTART) until it has
// left.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "receiver/edge_source.h"
#include "receiver/source_thread.h"

namespace tolvane {

// The few system calls the source makes, so that tests can script them.
// Calls return 0 (or a descriptor) on success and an errno value, negated,
// on failure.
class SerialPortOps {
public:
    virtual ~SerialPortOps() = default;
    virtual int Open(const std::string& path) = 0;      // descriptor, or -errno
    virtual int Close(int fd) = 0;
    virtual int Lock(int fd) = 0;                       // exclusive, without waiting
    virtual int RaiseLines(int fd, int lines) = 0;      // TIOCMBIS
    virtual int ReadLines(int fd, int& lines) = 0;      // TIOCMGET
    virtual int CountChanges(int fd) = 0;               // TIOCGICOUNT: can the port report changes?
    virtual int WaitForChange(int fd, int lines) = 0;   // TIOCMIWAIT; -EINTR when interrupted
    virtual std::int64_t MonotonicNanoseconds() = 0;
    // Wakes `thread` out of WaitForChange.
    virtual void Interrupt(std::thread& thread) = 0;
};

// The real calls.
std::unique_ptr<SerialPortOps> MakeSystemSerialPortOps();

// The line-state byte (bits 4..7: CTS, DSR, RI, DCD) for TIOCM_* bits.
std::uint8_t ModemLinesToState(int lines);

class SerialSource : public EdgeSource {
public:
    explicit SerialSource(std::string device, std::unique_ptr<SerialPortOps> ops = MakeSystemSerialPortOps());
    ~SerialSource() override;

    AttachStatus Attach(EdgeRing& ring) override;
    void Detach() override;
    bool Finished() const override { return thread_.Finished(); }
    std::string RuntimeError() const override { return thread_.Failure(); }

private:
    void Run(EdgeRing& ring);
    void CloseFd();

    std::string device_;
    std::unique_ptr<SerialPortOps> ops_;
    int fd_ = -1;
    int lines_ = 0;
    std::int64_t startNanoseconds_ = 0;
    SourceThread thread_;  // last: stopped before the members it uses go
};

}  // namespace tolvane
