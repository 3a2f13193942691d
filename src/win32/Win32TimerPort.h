// Window timers of the dialog; they fire as WM_TIMER with the returned id.
#pragma once

#include "Win32Api.h"
#include "ports/TimerPort.h"

class Win32TimerPort : public TimerPort {
public:
    explicit Win32TimerPort(HWND window) : window_(window) {}
    TimerId StartTimer(unsigned number, unsigned intervalMs) override;
    void StopTimer(TimerId id) override;

private:
    HWND window_;
};
