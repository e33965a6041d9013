#pragma once

namespace tolvane {

// Hourly and daily statistics reports, driven by the clock check.
class StatReports {
public:
    // Called on every timer tick.
    void StatClockCheck() {}
};

}  // namespace tolvane
