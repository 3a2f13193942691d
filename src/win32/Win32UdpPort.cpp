#include "Win32UdpPort.h"

#include "ResourceIds.h"

namespace {
constexpr WORD WINSOCK_VERSION_1_1 = 0x0101;
}  // namespace

bool Win32UdpPort::StartSocketLibrary() {
    WSADATA data;
    return WSAStartup(WINSOCK_VERSION_1_1, &data) == 0;
}

void Win32UdpPort::StopSocketLibrary() { WSACleanup(); }

bool Win32UdpPort::Open() {
    socket_ = socket(AF_INET, SOCK_DGRAM, 0);
    return socket_ != INVALID_SOCKET;
}

bool Win32UdpPort::AllowBroadcast() {
    const BOOL on = TRUE;
    return setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

void Win32UdpPort::BindAnyAddress() {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(0);
    bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

void Win32UdpPort::Close() {
    if (socket_ == INVALID_SOCKET) return;
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
}

void Win32UdpPort::SendTo(const std::uint8_t* data, std::size_t length, std::uint32_t ipAddress,
                          std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(ipAddress);
    to.sin_port = htons(port);
    sendto(socket_, reinterpret_cast<const char*>(data), static_cast<int>(length), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

int Win32UdpPort::Receive(std::uint8_t* buffer, std::size_t capacity) {
    sockaddr_in from{};
    int fromLength = sizeof from;
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is consumed.
    const int length = recvfrom(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
    return length == SOCKET_ERROR ? -1 : length;
}

bool Win32UdpPort::HasWaitingDatagram() {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval noWait{0, 0};
    return select(0, &readable, nullptr, nullptr, &noWait) > 0;
}

void Win32UdpPort::ArmReadNotification() { WSAAsyncSelect(socket_, window_, WM_DISCOVERY_SOCKET, FD_READ); }

void Win32UdpPort::DisarmNotification() { WSAAsyncSelect(socket_, window_, 0, 0); }
