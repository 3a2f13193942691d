// The message catalogue of the executable's string table.
#pragma once

class MessagePort {
public:
    virtual ~MessagePort() = default;
    // Loads catalogue message `number` as code page 932 into buffer, cut to
    // fit size - 1 bytes, always NUL-terminated (LoadStringA). Returns the
    // number of bytes before the NUL; 0 when there is no such message.
    virtual int LoadMessage(unsigned number, char* buffer, int size) = 0;
};
