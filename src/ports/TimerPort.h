// Window timers of the dialog. Their firings come back as timer events
// carrying the id that StartTimer returned.
#pragma once

#include <cstdint>

using TimerId = std::uintptr_t;  // 0: no timer

// The platform timer numbers: the tick and the transfer timer never share one.
enum TimerNumber : unsigned {
    TICK_TIMER_NUMBER = 1,
    TRANSFER_TIMER_NUMBER = 2,
};

class TimerPort {
public:
    virtual ~TimerPort() = default;
    // Starts (or restarts) the periodic timer with this number; returns its
    // id, or 0 when it could not be started.
    virtual TimerId StartTimer(unsigned number, unsigned intervalMs) = 0;
    virtual void StopTimer(TimerId id) = 0;
};
