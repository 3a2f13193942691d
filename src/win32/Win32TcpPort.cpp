#include "Win32TcpPort.h"

#include "ResourceIds.h"

namespace {
constexpr int SHUTDOWN_SENDING = 1;  // SD_SEND; winsock.h has no name for it
}  // namespace

// Winsock's event bits are the port's.
static_assert(TCP_WRITE == FD_WRITE && TCP_CONNECT == FD_CONNECT && TCP_CLOSE == FD_CLOSE);

bool Win32TcpPort::Create() {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    if (socket_ == INVALID_SOCKET) return false;
    // WSAAsyncSelect makes the socket non-blocking as well; this keeps the
    // connect from blocking whatever was selected before it.
    u_long nonBlocking = 1;
    ioctlsocket(socket_, FIONBIO, &nonBlocking);
    return true;
}

// No event bits switch the notifications off.
void Win32TcpPort::SelectEvents(std::uint32_t events) {
    WSAAsyncSelect(socket_, window_, WM_TRANSFER_SOCKET, static_cast<long>(events));
}

int Win32TcpPort::Connect(std::uint32_t ipAddress, std::uint16_t port) {
    sockaddr_in router{};
    router.sin_family = AF_INET;
    router.sin_addr.s_addr = htonl(ipAddress);
    router.sin_port = htons(port);
    return connect(socket_, reinterpret_cast<const sockaddr*>(&router), sizeof router);
}

int Win32TcpPort::Send(const std::uint8_t* data, int length) {
    const int sent = send(socket_, reinterpret_cast<const char*>(data), length, 0);
    if (sent != SOCKET_ERROR) return sent;
    // WSAEWOULDBLOCK or a real failure: the caller offers the block again on
    // the next write-ready event or lets its timer end the transfer.
    WSAGetLastError();
    return -1;
}

void Win32TcpPort::ShutdownSending() { shutdown(socket_, SHUTDOWN_SENDING); }

void Win32TcpPort::Close() {
    if (socket_ == INVALID_SOCKET) return;
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
}
