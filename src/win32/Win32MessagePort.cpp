#include "Win32MessagePort.h"

int Win32MessagePort::LoadMessage(unsigned number, char* buffer, int size) {
    if (size <= 0) return 0;
    const int length = LoadStringA(instance_, number, buffer, size);
    // Without such a string LoadStringA need not write the terminator.
    if (length == 0) buffer[0] = '\0';
    return length;
}
