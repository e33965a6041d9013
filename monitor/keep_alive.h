#pragma once

namespace tolvane {

// The "off the air" watch.
class KeepAlive {
public:
    // Called on every timer tick.
    void KeepAliveTimerTick() {}
    // Any decoded page restarts the watch period.
    void TrafficSeen() {}
};

}  // namespace tolvane
