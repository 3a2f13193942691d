#pragma once

#include <map>
#include <vector>

#include "ports/TimerPort.h"

// Timers that never fire by themselves: a test fires them by id.
class FakeTimers : public TimerPort {
public:
    TimerId StartTimer(unsigned number, unsigned intervalMs) override;
    void StopTimer(TimerId id) override;

    bool Running(unsigned number) const { return running.count(number) != 0; }
    unsigned Interval(unsigned number) const;

    std::map<unsigned, unsigned> running;  // number -> interval of the running timers
    std::vector<unsigned> starts;          // numbers, in the order they were started
    bool refuse = false;                   // StartTimer fails
};
