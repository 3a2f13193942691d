#include "Router.h"

#include <algorithm>

#include "Scrambler.h"

namespace sim {

namespace {
// Keys come from their own sequence, so that drawing one never shifts the random drops.
constexpr std::uint64_t KEY_SEED_SALT = 0x9E3779B97F4A7C15;
}  // namespace

Router::Router(const RouterConfig& config, UdpPort& port, Reactor& reactor, EventLog& log, const std::string& imageDir)
    : config_(config),
      reactor_(reactor),
      log_(log),
      channel_(config, port, reactor, log),
      receiver_(config, reactor, log, imageDir),
      flood_(config, channel_, reactor, log),
      keys_(config.seed ^ KEY_SEED_SALT),
      key_(newKey()) {}

std::uint32_t Router::newKey() { return config_.fixedKey.value_or(static_cast<std::uint32_t>(keys_())); }

void Router::start() { receiver_.open(); }

void Router::ignore(const Request& request, const std::string& why) {
    log_.event("ignored").text("router", config_.label).text("kind", kindName(request.kind)).text("why", why).write();
}

void Router::take(const Request& request, const Datagram& datagram, bool broadcast) {
    if (restarting_) return ignore(request, "restarting");
    const bool wantsBroadcast = request.kind == RequestKind::Discover || request.kind == RequestKind::ModuleInfo;
    if (wantsBroadcast && !broadcast)
        return ignore(request, "sent to " + ipv4Text(datagram.toAddress) + "; this request is broadcast to 255.255.255.255");
    if (!wantsBroadcast && broadcast) return ignore(request, "broadcast; this request is sent to the router's own address");
    const bool forMe = request.destination == config_.mac || (wantsBroadcast && request.destination == BROADCAST_MAC);
    if (!forMe) return ignore(request, "addressed to " + macText(request.destination));
    switch (request.kind) {
        case RequestKind::Discover: return onDiscover(request, datagram);
        case RequestKind::ModuleInfo: return onModuleInfo(request, datagram);
        case RequestKind::Update:
        case RequestKind::UpdateExt: return onUpdate(request, datagram);
        case RequestKind::Status: return onStatus(request, datagram);
    }
}

std::uint32_t Router::answeredStatus(RequestKind kind, std::uint32_t status) const {
    return config_.faults[static_cast<std::size_t>(kind)].status.value_or(status);
}

void Router::reply(const Request& request, const Datagram& datagram, std::uint32_t status, const Bytes& payload) {
    const Mac destination = config_.repliesToBroadcast ? BROADCAST_MAC : request.source;
    if (config_.flood.count > 0)
        flood_.startOnce(datagram.from, request.source,
                         buildReply(RequestKind::Discover, config_.version, config_.mac, destination, STATUS_OK,
                                    discoveryPayload()));
    channel_.sendReply(request.kind, buildReply(request.kind, config_.version, config_.mac, destination, status, payload),
                       datagram.from, request.source);
}

Bytes Router::discoveryPayload() const {
    const DiscoveryFields fields{config_.address,      config_.netmask,         config_.capabilities,
                                 key_,                 config_.name,            identity().shortIdentity,
                                 identity().longIdentity, config_.subCode};
    return buildDiscoveryPayload(config_.version, fields);
}

void Router::onDiscover(const Request& request, const Datagram& datagram) {
    // A new key goes with every reply the router makes, whether or not the reply arrives.
    key_ = newKey();
    reply(request, datagram, answeredStatus(request.kind, STATUS_OK), discoveryPayload());
}

void Router::onModuleInfo(const Request& request, const Datagram& datagram) {
    const std::uint32_t selector = readU32(request.payload, 0);
    const auto text = identity().modules.find(selector);
    if (text == identity().modules.end())
        return reply(request, datagram, answeredStatus(request.kind, STATUS_FAILED), {});
    Bytes payload(text->second.begin(), text->second.end());
    payload.push_back(0);
    reply(request, datagram, answeredStatus(request.kind, STATUS_OK), payload);
}

void Router::onUpdate(const Request& request, const Datagram& datagram) {
    const auto& p = request.payload;
    const std::uint32_t size = readU32(p, 0);
    const bool extended = request.kind == RequestKind::UpdateExt;
    const std::array<std::uint32_t, 3> ext = {extended ? readU32(p, 4) : 0, extended ? readU32(p, 8) : 0,
                                              extended ? readU32(p, 12) : 0};
    PasswordBlock got;
    std::copy_n(p.end() - 8, 8, got.begin());
    // The router's own password, NUL-padded to the 8 bytes the scrambler reads.
    PasswordBlock own{};
    std::copy(config_.password.begin(), config_.password.end(), own.begin());
    const PasswordBlock want = scramblePassword(own, key_);

    std::uint32_t status = STATUS_OK;
    std::string verdict = "granted";
    if (got != want) {
        status = STATUS_BAD_PASSWORD;
        verdict = "password does not match";
    } else if (size == 0 || (config_.imageSize && size != *config_.imageSize)) {
        status = STATUS_FAILED;
        verdict = "image size " + std::to_string(size) + " is not " +
                  (config_.imageSize ? std::to_string(*config_.imageSize) : std::string("above 0"));
    } else if (extended && config_.extValues && ext != *config_.extValues) {
        status = STATUS_FAILED;
        verdict = "extended values are not those of the scenario";
    }
    const std::uint32_t answered = answeredStatus(request.kind, status);

    auto line = log_.event("auth");
    line.text("router", config_.label).text("kind", kindName(request.kind)).integer("size", size);
    if (extended)
        line.rawJson("ext", "[" + std::to_string(ext[0]) + "," + std::to_string(ext[1]) + "," + std::to_string(ext[2]) + "]");
    line.hex32("key", key_).bytes("got", got).bytes("want", want).text("verdict", verdict).hex32("status", answered).write();

    if (answered == STATUS_OK)
        receiver_.expect(size);
    else
        receiver_.forget();
    reply(request, datagram, answered, {});
}

namespace {
constexpr double SETTLE_POLL_SECONDS = 0.05;
}  // namespace

// A status request can overtake the end of the image stream: the sender closes its
// connection with bytes still on the way and asks at once. So the answer waits until
// the image connection has settled, as a router that is still writing would.
void Router::onStatus(const Request& request, const Datagram& datagram) {
    if (receiver_.settled()) return answerStatusWhenSettled(request, datagram);
    log_.event("status_deferred").text("router", config_.label).write();
    reactor_.after(SETTLE_POLL_SECONDS, [this, request, datagram] { answerStatusWhenSettled(request, datagram); });
}

void Router::answerStatusWhenSettled(const Request& request, const Datagram& datagram) {
    if (restarting_) return ignore(request, "restarting");
    if (!receiver_.settled()) {
        reactor_.after(SETTLE_POLL_SECONDS, [this, request, datagram] { answerStatusWhenSettled(request, datagram); });
        return;
    }
    const ImageReceiver::Outcome outcome = receiver_.outcome();
    const std::uint32_t answered = answeredStatus(request.kind, outcome.whole() ? STATUS_OK : STATUS_FAILED);
    log_.event("outcome").text("router", config_.label).rawJson("granted", outcome.granted ? "true" : "false")
        .integer("expected", outcome.expected).integer("received", outcome.received).hex32("status", answered).write();
    reply(request, datagram, answered, {});
    if (answered == STATUS_OK) restart();
}

void Router::restart() {
    restarting_ = true;
    updated_ = true;
    receiver_.close("restart");
    receiver_.forget();
    auto line = log_.event("restart");
    line.text("router", config_.label);
    if (config_.restartSeconds) {
        line.number("seconds", *config_.restartSeconds).write();
        reactor_.after(*config_.restartSeconds, [this] { comeBack(); });
    } else {
        line.null("seconds").write();
    }
}

void Router::comeBack() {
    restarting_ = false;
    key_ = newKey();
    receiver_.open();
    log_.event("back").text("router", config_.label).text("short_identity", identity().shortIdentity)
        .text("long_identity", identity().longIdentity).write();
}

}  // namespace sim
