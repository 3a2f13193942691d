// Winsock 1.1 and the UDP endpoint; read readiness comes to the dialog as
// WM_DISCOVERY_SOCKET.
#pragma once

#include "Win32Api.h"
#include "ports/UdpPort.h"

class Win32UdpPort : public UdpPort {
public:
    explicit Win32UdpPort(HWND notifyWindow) : window_(notifyWindow) {}

    bool StartSocketLibrary() override;
    void StopSocketLibrary() override;

    bool Open() override;
    bool IsOpen() const override { return socket_ != INVALID_SOCKET; }
    bool AllowBroadcast() override;
    void BindAnyAddress() override;
    void Close() override;

    void SendTo(const std::uint8_t* data, std::size_t length, std::uint32_t ipAddress, std::uint16_t port) override;
    int Receive(std::uint8_t* buffer, std::size_t capacity) override;
    bool HasWaitingDatagram() override;

    void ArmReadNotification() override;
    void DisarmNotification() override;

private:
    HWND window_;
    SOCKET socket_ = INVALID_SOCKET;
};
