#include "ReplyChannel.h"

#include <cstring>

namespace sim {

ReplyChannel::ReplyChannel(const RouterConfig& config, UdpPort& port, Reactor& reactor, EventLog& log)
    : config_(config), port_(port), reactor_(reactor), log_(log), random_(config.seed) {}

Bytes ReplyChannel::garbage() {
    Bytes bytes(std::uniform_int_distribution<std::size_t>(1, MAX_DATAGRAM)(random_));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random_());
    return bytes;
}

Mac ReplyChannel::randomForeignMac() {
    Mac mac;
    for (auto& b : mac) b = static_cast<std::uint8_t>(random_());
    mac[0] = (mac[0] & 0xFC) | 0x02;  // locally administered, unicast: never a real router's
    return mac;
}

void ReplyChannel::sendRaw(const std::string& what, const Bytes& bytes, const Endpoint& to) {
    const int error = port_.sendFrom(config_.address, to, bytes);
    auto line = log_.event("udp_out");
    line.text("router", config_.label).text("what", what).text("from", Endpoint{config_.address, ROUTER_PORT}.text())
        .text("to", to.text()).integer("len", bytes.size()).bytes("hex", bytes);
    if (error) line.text("error", std::strerror(error));
    line.write();
}

void ReplyChannel::sendReply(RequestKind kind, Bytes reply, const Endpoint& to, const Mac& station) {
    const ReplyFaults& faults = config_.faults[static_cast<std::size_t>(kind)];
    const std::string name(kindName(kind));

    for (unsigned i = 0; i < faults.garbage; ++i) sendRaw(name + ":garbage", garbage(), to);
    if (faults.foreignSource) std::copy(faults.foreignSource->begin(), faults.foreignSource->end(), reply.begin() + 16);
    for (Malformation m : faults.malformed)
        sendRaw(name + ":malformed:" + std::string(malformationName(m)), malform(reply, m, station), to);

    const unsigned made = ++repliesMade_[static_cast<std::size_t>(kind)];
    const char* dropped = nullptr;
    if (made <= faults.dropFirst)
        dropped = "drop_first";
    else if (faults.dropProbability > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < faults.dropProbability)
        dropped = "drop_random";
    if (dropped) {
        log_.event("udp_drop").text("router", config_.label).text("what", name).text("why", dropped)
            .text("to", to.text()).integer("len", reply.size()).bytes("hex", reply).write();
        return;
    }

    auto deliver = [this, name, reply, to, copies = faults.duplicates] {
        sendRaw(name, reply, to);
        for (unsigned i = 0; i < copies; ++i) sendRaw(name + ":duplicate", reply, to);
    };
    if (faults.delaySeconds > 0) {
        log_.event("udp_delay").text("router", config_.label).text("what", name).number("seconds", faults.delaySeconds)
            .write();
        reactor_.after(faults.delaySeconds, deliver);
    } else {
        deliver();
    }
}

}  // namespace sim
