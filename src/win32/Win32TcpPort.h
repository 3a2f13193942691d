// The image transfer's TCP connection; its events come to the dialog as
// WM_TRANSFER_SOCKET.
#pragma once

#include "Win32Api.h"
#include "ports/TcpPort.h"

class Win32TcpPort : public TcpPort {
public:
    explicit Win32TcpPort(HWND notifyWindow) : window_(notifyWindow) {}

    bool Create() override;
    bool IsOpen() const override { return socket_ != INVALID_SOCKET; }
    void SelectEvents(std::uint32_t events) override;
    int Connect(std::uint32_t ipAddress, std::uint16_t port) override;
    int Send(const std::uint8_t* data, int length) override;
    void ShutdownSending() override;
    void Close() override;

private:
    HWND window_;
    SOCKET socket_ = INVALID_SOCKET;
};
