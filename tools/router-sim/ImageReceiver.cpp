#include "ImageReceiver.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "Sha256.h"

namespace sim {

namespace {
// Far beyond any image; a peer that sends more is cut off rather than filling memory.
constexpr std::size_t MAX_CONNECTION_BYTES = 64u << 20;
// A small receive buffer makes a stalled connection push back on the sender soon.
constexpr int STALL_RECEIVE_BUFFER = 4096;
// How long an open image connection may stay silent before the image is judged as it is:
// longer than TCP's loss recovery on a slow link (a retransmission time-out after a
// backoff or two; over a second at 1 Mbit/s), shorter than the three sends of the
// program's status query (9.3 s), which must hear the verdict on a sender that stopped.
constexpr double QUIET_SECONDS = 3.0;
}  // namespace

ImageReceiver::ImageReceiver(const RouterConfig& config, Reactor& reactor, EventLog& log, std::string imageDir)
    : config_(config), reactor_(reactor), log_(log), imageDir_(std::move(imageDir)) {}

ImageReceiver::~ImageReceiver() { close("stop"); }

void ImageReceiver::open() {
    if (config_.tcp == TcpBehaviour::Refuse || listenFd_ >= 0) return;
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error(std::string("TCP socket: ") + std::strerror(errno));
    const int on = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (config_.tcp == TcpBehaviour::StallAfter)
        setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &STALL_RECEIVE_BUFFER, sizeof STALL_RECEIVE_BUFFER);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ROUTER_PORT);
    address.sin_addr.s_addr = htonl(config_.address);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || listen(listenFd_, 4) < 0) {
        const int e = errno;
        ::close(listenFd_);
        listenFd_ = -1;
        throw std::runtime_error("router '" + config_.label + "': cannot listen on TCP " + config_.addressText + ":" +
                                 std::to_string(ROUTER_PORT) + ": " + std::strerror(e));
    }
    reactor_.watch(listenFd_, POLLIN, [this](short) { accept(); });
    log_.event("tcp_listen").text("router", config_.label).text("at", Endpoint{config_.address, ROUTER_PORT}.text())
        .write();
}

void ImageReceiver::close(const char* why) {
    while (!connections_.empty()) finish(connections_.begin()->first, why);
    if (listenFd_ >= 0) {
        reactor_.unwatch(listenFd_);
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void ImageReceiver::expect(std::uint32_t size) {
    granted_ = size;
    imageReceived_ = 0;
    for (auto& [number, c] : connections_) c.carriesImage = false;
}

void ImageReceiver::forget() {
    granted_.reset();
    imageReceived_ = 0;
}

ImageReceiver::Outcome ImageReceiver::outcome() {
    // The connection, or the stream's last bytes, may still wait in the kernel while the
    // status request is read.
    if (listenFd_ >= 0) accept();
    std::vector<unsigned> numbers;
    for (const auto& [number, c] : connections_) numbers.push_back(number);
    for (unsigned number : numbers)
        if (connections_.count(number)) read(number);
    return Outcome{granted_.has_value(), granted_.value_or(0), imageReceived_};
}

bool ImageReceiver::settled() {
    const Outcome now = outcome();
    if (!now.granted || now.received >= now.expected) return true;
    const bool open = std::any_of(connections_.begin(), connections_.end(),
                                  [](const auto& entry) { return entry.second.carriesImage; });
    return !open || monotonicSeconds() - lastImageActivity_ >= QUIET_SECONDS;
}

void ImageReceiver::accept() {
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        take(fd, Endpoint{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
    }
}

void ImageReceiver::take(int fd, const Endpoint& from) {
    const unsigned number = nextNumber_++;
    // The newest connection after a grant is the one that carries the image.
    const bool carriesImage = granted_.has_value();
    if (carriesImage) {
        imageReceived_ = 0;
        lastImageActivity_ = monotonicSeconds();
        for (auto& [n, c] : connections_) c.carriesImage = false;
    }
    connections_.emplace(number, Connection{fd, number, from, {}, carriesImage, false});
    log_.event("tcp_accept").text("router", config_.label).integer("conn", number).text("from", from.text()).write();
    reactor_.watch(fd, POLLIN, [this, number](short) { read(number); });
    read(number);
}

void ImageReceiver::read(unsigned number) {
    Connection& c = connections_.at(number);
    const bool limited = config_.tcp == TcpBehaviour::StallAfter || config_.tcp == TcpBehaviour::CloseAfter;
    std::uint8_t buffer[65536];
    for (;;) {
        std::size_t want = sizeof buffer;
        if (limited) {
            const std::uint64_t left = config_.tcpLimit - c.data.size();
            if (left == 0) {
                if (config_.tcp == TcpBehaviour::CloseAfter) return finish(number, "close_after");
                if (!c.stalled) {
                    c.stalled = true;
                    reactor_.setEvents(c.fd, 0);
                    log_.event("tcp_stall").text("router", config_.label).integer("conn", number)
                        .integer("received", c.data.size()).write();
                }
                return;
            }
            want = std::min<std::uint64_t>(want, left);
        }
        const ssize_t n = recv(c.fd, buffer, want, 0);
        if (n > 0) {
            c.data.insert(c.data.end(), buffer, buffer + n);
            if (c.carriesImage) {
                imageReceived_ += static_cast<std::uint64_t>(n);
                lastImageActivity_ = monotonicSeconds();
            }
            log_.event("tcp_data").text("router", config_.label).integer("conn", number).integer("len", n)
                .integer("received", c.data.size()).write();
            if (c.data.size() > MAX_CONNECTION_BYTES) return finish(number, "too_much");
            continue;
        }
        if (n == 0) return finish(number, "eof");
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        return finish(number, errno == ECONNRESET ? "reset" : std::strerror(errno));
    }
}

void ImageReceiver::finish(unsigned number, const std::string& why) {
    Connection c = std::move(connections_.at(number));
    connections_.erase(number);
    reactor_.unwatch(c.fd);
    ::close(c.fd);
    log_.event("tcp_close").text("router", config_.label).integer("conn", number).text("why", why)
        .integer("received", c.data.size()).write();

    const std::string path = imageDir_ + "/" + config_.label + "-" + std::to_string(number) + ".bin";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(c.data.data()), static_cast<std::streamsize>(c.data.size()));
    out.close();
    auto line = log_.event("image");
    line.text("router", config_.label).integer("conn", number).text("path", path).integer("size", c.data.size())
        .text("sha256", sha256Hex(c.data));
    if (!out) line.text("error", "could not be saved");
    line.write();
}

}  // namespace sim
