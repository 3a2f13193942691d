#include "Flood.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
constexpr double TICK_SECONDS = 0.01;
// garbage, each malformation, a valid reply from a random hardware address, a reply
// with a code that is no reply of the protocol
constexpr std::size_t VARIANTS = 1 + ALL_MALFORMATIONS.size() + 2;
}  // namespace

Flood::Flood(const RouterConfig& config, ReplyChannel& channel, Reactor& reactor, EventLog& log)
    : config_(config), channel_(channel), reactor_(reactor), log_(log) {}

void Flood::startOnce(const Endpoint& to, const Mac& station, const Bytes& sample) {
    if (started_ || config_.flood.count == 0) return;
    started_ = true;
    to_ = to;
    station_ = station;
    sample_ = sample;
    startTime_ = monotonicSeconds();
    log_.event("flood_start").text("router", config_.label).text("to", to.text()).integer("count", config_.flood.count)
        .number("rate", config_.flood.rate).number("seconds", config_.flood.seconds).write();
    tick();
}

Bytes Flood::next(std::string& what) {
    const std::size_t variant = sent_ % VARIANTS;
    if (variant == 0) {
        what = "flood:garbage";
        return channel_.garbage();
    }
    if (variant <= ALL_MALFORMATIONS.size()) {
        const Malformation m = ALL_MALFORMATIONS[variant - 1];
        what = "flood:malformed:" + std::string(malformationName(m));
        return malform(sample_, m, station_);
    }
    Bytes bytes = sample_;
    if (variant == ALL_MALFORMATIONS.size() + 1) {
        what = "flood:foreign";
        const Mac mac = channel_.randomForeignMac();
        std::copy(mac.begin(), mac.end(), bytes.begin() + 16);
    } else {
        what = "flood:unknown_code";
        bytes[8] = 0x3E;
        bytes[9] = 0xC1;
    }
    return bytes;
}

void Flood::tick() {
    const double elapsed = monotonicSeconds() - startTime_;
    const bool timeUp = elapsed >= config_.flood.seconds;
    const auto due = static_cast<unsigned>(std::min<double>(config_.flood.count, std::floor(config_.flood.rate * elapsed) + 1));
    while (!timeUp && sent_ < due) {
        std::string what;
        const Bytes bytes = next(what);
        channel_.sendRaw(what, bytes, to_);
        ++sent_;
    }
    if (timeUp || sent_ >= config_.flood.count) {
        log_.event("flood_end").text("router", config_.label).integer("sent", sent_)
            .text("why", sent_ >= config_.flood.count ? "count" : "time").write();
        return;
    }
    reactor_.after(TICK_SECONDS, [this] { tick(); });
}

}  // namespace sim
