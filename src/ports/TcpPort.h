// The TCP connection of one image transfer. There is at most one at a time.
#pragma once

#include <cstdint>

// Event bits, as Winsock numbers them; WM_TRANSFER_SOCKET carries one of
// them in the low 16 bits of its second parameter and an error in the high 16.
enum TcpEventBits : std::uint32_t {
    TCP_WRITE = 0x02,    // FD_WRITE
    TCP_CONNECT = 0x10,  // FD_CONNECT
    TCP_CLOSE = 0x20,    // FD_CLOSE
};

class TcpPort {
public:
    virtual ~TcpPort() = default;

    // An IPv4 stream socket, not bound; false when none could be created.
    virtual bool Create() = 0;
    virtual bool IsOpen() const = 0;
    // Chooses the events notified as WM_TRANSFER_SOCKET (TcpEventBits; 0: none).
    virtual void SelectEvents(std::uint32_t events) = 0;
    // Starts a non-blocking connect; the raw result is returned unexamined.
    virtual int Connect(std::uint32_t ipAddress, std::uint16_t port) = 0;
    // A non-blocking send: the number of bytes the connection took, or -1
    // (the error has then been read with WSAGetLastError).
    virtual int Send(const std::uint8_t* data, int length) = 0;
    virtual void ShutdownSending() = 0;
    // A plain close, no linger option.
    virtual void Close() = 0;
};
