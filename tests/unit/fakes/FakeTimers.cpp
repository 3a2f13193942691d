#include "FakeTimers.h"

TimerId FakeTimers::StartTimer(unsigned number, unsigned intervalMs) {
    if (refuse) return 0;
    running[number] = intervalMs;
    starts.push_back(number);
    return number;  // like SetTimer with a window: the id is the number
}

void FakeTimers::StopTimer(TimerId id) { running.erase(static_cast<unsigned>(id)); }

unsigned FakeTimers::Interval(unsigned number) const {
    auto it = running.find(number);
    return it == running.end() ? 0 : it->second;
}
