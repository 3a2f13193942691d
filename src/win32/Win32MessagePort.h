// The message catalogue from the executable's string table.
#pragma once

#include "Win32Api.h"
#include "ports/MessagePort.h"

class Win32MessagePort : public MessagePort {
public:
    explicit Win32MessagePort(HINSTANCE instance) : instance_(instance) {}
    int LoadMessage(unsigned number, char* buffer, int size) override;

private:
    HINSTANCE instance_;
};
