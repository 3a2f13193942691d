// The one UDP socket that all simulated routers share: bound to 0.0.0.0:22360, it
// receives the broadcasts and every router's unicasts, and sends each reply from the
// address of the router that answers.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

#include "Wire.h"

namespace sim {

struct Endpoint {
    std::uint32_t address = 0;  // host order
    std::uint16_t port = 0;
    std::string text() const;
};

struct Datagram {
    Bytes bytes;
    Endpoint from;
    std::uint32_t toAddress = 0;  // the destination the sender used, host order
};

class UdpPort {
  public:
    UdpPort();  // throws std::runtime_error
    ~UdpPort();
    UdpPort(const UdpPort&) = delete;
    UdpPort& operator=(const UdpPort&) = delete;

    int fd() const { return fd_; }
    std::optional<Datagram> receive();
    // 0 on success, else errno.
    int sendFrom(std::uint32_t sourceAddress, const Endpoint& to, const Bytes& bytes);

  private:
    int fd_ = -1;
};

std::string ipv4Text(std::uint32_t address);

}  // namespace sim
