#include "Simulator.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <stdexcept>

namespace sim {

namespace {

constexpr std::uint32_t LIMITED_BROADCAST = 0xFFFFFFFF;

bool isLocalAddress(std::uint32_t address) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) < 0) return false;
    bool found = false;
    for (ifaddrs* i = list; i && !found; i = i->ifa_next)
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET)
            found = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr) == address;
    freeifaddrs(list);
    return found;
}

}  // namespace

Simulator::Simulator(const Scenario& scenario, EventLog& log, const std::string& imageDir) : log_(log) {
    for (const RouterConfig& config : scenario.routers) {
        // Replies leave from the router's address, so it must be one of this namespace's.
        if (!isLocalAddress(config.address))
            throw std::runtime_error("router '" + config.label + "': address " + config.addressText +
                                     " is on no interface of this network namespace");
        routers_.push_back(std::make_unique<Router>(config, port_, reactor_, log_, imageDir));
        routers_.back()->start();
    }
    reactor_.watch(port_.fd(), POLLIN, [this](short) { receiveAll(); });
}

void Simulator::run(const sigset_t& waitMask, const volatile sig_atomic_t& stopped) { reactor_.run(waitMask, stopped); }

void Simulator::receiveAll() {
    while (auto datagram = port_.receive()) {
        log_.event("udp_in").text("from", datagram->from.text()).text("to", Endpoint{datagram->toAddress, ROUTER_PORT}.text())
            .integer("len", datagram->bytes.size()).bytes("hex", datagram->bytes).write();
        dispatch(*datagram);
    }
}

void Simulator::dispatch(const Datagram& datagram) {
    std::string whyNot;
    const auto request = parseRequest(datagram.bytes, whyNot);
    if (!request) {
        log_.event("ignored").text("why", whyNot).write();
        return;
    }
    if (datagram.toAddress == LIMITED_BROADCAST) {
        for (auto& router : routers_) router->take(*request, datagram, true);
        return;
    }
    for (auto& router : routers_)
        if (router->config().address == datagram.toAddress) return router->take(*request, datagram, false);
    log_.event("ignored").text("kind", kindName(request->kind))
        .text("why", "sent to " + ipv4Text(datagram.toAddress) + ", the address of no router").write();
}

}  // namespace sim
