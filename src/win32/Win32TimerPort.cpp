#include "Win32TimerPort.h"

TimerId Win32TimerPort::StartTimer(unsigned number, unsigned intervalMs) {
    return SetTimer(window_, number, intervalMs, nullptr);
}

void Win32TimerPort::StopTimer(TimerId id) { KillTimer(window_, id); }
