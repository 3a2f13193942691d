#include "UdpPort.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sim {

std::string ipv4Text(std::uint32_t address) {
    in_addr a{htonl(address)};
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

std::string Endpoint::text() const { return ipv4Text(address) + ":" + std::to_string(port); }

UdpPort::UdpPort() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error(std::string("UDP socket: ") + std::strerror(errno));
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // The destination of each datagram tells a broadcast from a unicast to one router.
    setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(ROUTER_PORT);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any) < 0) {
        const int e = errno;
        close(fd_);
        throw std::runtime_error("cannot bind UDP 0.0.0.0:" + std::to_string(ROUTER_PORT) + ": " + std::strerror(e));
    }
}

UdpPort::~UdpPort() { close(fd_); }

std::optional<Datagram> UdpPort::receive() {
    // Room for any datagram, so that an oversized request is seen whole and logged.
    std::uint8_t buffer[65536];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    sockaddr_in from{};
    iovec iov{buffer, sizeof buffer};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(fd_, &msg, 0);
    if (n < 0) return std::nullopt;

    Datagram d;
    d.bytes.assign(buffer, buffer + n);
    d.from = Endpoint{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            d.toAddress = ntohl(info.ipi_addr.s_addr);
        }
    return d;
}

int UdpPort::sendFrom(std::uint32_t sourceAddress, const Endpoint& to, const Bytes& bytes) {
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = htons(to.port);
    dest.sin_addr.s_addr = htonl(to.address);
    iovec iov{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = &dest;
    msg.msg_namelen = sizeof dest;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(sourceAddress);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    return sendmsg(fd_, &msg, 0) < 0 ? errno : 0;
}

}  // namespace sim
