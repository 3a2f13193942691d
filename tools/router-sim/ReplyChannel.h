// The way from a router to the wire, where the faults of each kind of reply happen:
// garbage and malformed datagrams ahead of it, a foreign sender, drops, delays, copies.
#pragma once

#include <array>
#include <random>
#include <string>

#include "EventLog.h"
#include "Reactor.h"
#include "Scenario.h"
#include "UdpPort.h"

namespace sim {

class ReplyChannel {
  public:
    ReplyChannel(const RouterConfig& config, UdpPort& port, Reactor& reactor, EventLog& log);

    // The genuine reply to a request of `kind` from `station` at `to`.
    void sendReply(RequestKind kind, Bytes reply, const Endpoint& to, const Mac& station);
    // One datagram exactly as given, `what` saying what it is.
    void sendRaw(const std::string& what, const Bytes& bytes, const Endpoint& to);

    Bytes garbage();
    Mac randomForeignMac();

  private:
    const RouterConfig& config_;
    UdpPort& port_;
    Reactor& reactor_;
    EventLog& log_;
    std::mt19937_64 random_;
    std::array<unsigned, KIND_COUNT> repliesMade_{};
};

}  // namespace sim
