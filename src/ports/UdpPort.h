// The socket library and the UDP endpoint (Winsock 1.1 on Windows).
#pragma once

#include <cstddef>
#include <cstdint>

class UdpPort {
public:
    virtual ~UdpPort() = default;

    // WSAStartup asking for version 1.1; true on success.
    virtual bool StartSocketLibrary() = 0;
    // WSACleanup. Every socket still open, the TCP connection included, ends with it.
    virtual void StopSocketLibrary() = 0;

    // An IPv4 datagram socket; false when none could be created.
    virtual bool Open() = 0;
    virtual bool IsOpen() const = 0;
    // SO_BROADCAST = 1; false when refused.
    virtual bool AllowBroadcast() = 0;
    // Binds to 0.0.0.0 and port 0; the outcome is not reported.
    virtual void BindAnyAddress() = 0;
    virtual void Close() = 0;

    // Sends one datagram. `ipAddress` has the first dotted octet in its most
    // significant byte. The outcome is not reported.
    virtual void SendTo(const std::uint8_t* data, std::size_t length, std::uint32_t ipAddress,
                        std::uint16_t port) = 0;
    // Reads exactly one datagram into buffer. Returns its length, or -1 on a
    // receive error or when the datagram is longer than capacity (it is
    // consumed either way).
    virtual int Receive(std::uint8_t* buffer, std::size_t capacity) = 0;
    // True when a datagram waits to be read; it never waits itself.
    virtual bool HasWaitingDatagram() = 0;

    // Read notifications as WM_DISCOVERY_SOCKET events of the dialog.
    virtual void ArmReadNotification() = 0;
    virtual void DisarmNotification() = 0;
};
