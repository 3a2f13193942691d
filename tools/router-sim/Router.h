// One simulated router: what it answers to each request, its key, its password check,
// the image it was granted, and its restart.
#pragma once

#include <random>
#include <string>

#include "EventLog.h"
#include "Flood.h"
#include "ImageReceiver.h"
#include "Reactor.h"
#include "ReplyChannel.h"
#include "Scenario.h"
#include "UdpPort.h"

namespace sim {

class Router {
  public:
    Router(const RouterConfig& config, UdpPort& port, Reactor& reactor, EventLog& log, const std::string& imageDir);

    const RouterConfig& config() const { return config_; }
    void start();  // throws std::runtime_error

    // A request that reached this router: broadcast to 255.255.255.255, or sent to its address.
    void take(const Request& request, const Datagram& datagram, bool broadcast);

  private:
    void ignore(const Request& request, const std::string& why);
    std::uint32_t answeredStatus(RequestKind kind, std::uint32_t status) const;
    void reply(const Request& request, const Datagram& datagram, std::uint32_t status, const Bytes& payload);

    void onDiscover(const Request& request, const Datagram& datagram);
    void onModuleInfo(const Request& request, const Datagram& datagram);
    void onUpdate(const Request& request, const Datagram& datagram);
    void onStatus(const Request& request, const Datagram& datagram);
    void answerStatusWhenSettled(const Request& request, const Datagram& datagram);
    void restart();
    void comeBack();

    Bytes discoveryPayload() const;
    const Identity& identity() const { return updated_ ? config_.after : config_.before; }
    std::uint32_t newKey();

    const RouterConfig& config_;
    Reactor& reactor_;
    EventLog& log_;
    ReplyChannel channel_;
    ImageReceiver receiver_;
    Flood flood_;
    std::mt19937_64 keys_;
    std::uint32_t key_;
    bool updated_ = false;
    bool restarting_ = false;
};

}  // namespace sim
