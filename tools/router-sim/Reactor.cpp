#include "Reactor.h"

#include <cerrno>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "EventLog.h"

namespace sim {

void Reactor::watch(int fd, short events, FdHandler handler) {
    watches_[fd] = Watch{events, nextGeneration_++, std::move(handler)};
}

void Reactor::setEvents(int fd, short events) { watches_.at(fd).events = events; }

void Reactor::unwatch(int fd) { watches_.erase(fd); }

void Reactor::after(double seconds, std::function<void()> action) {
    timers_.emplace(monotonicSeconds() + seconds, std::move(action));
}

void Reactor::fireDueTimers() {
    while (!timers_.empty() && timers_.begin()->first <= monotonicSeconds()) {
        auto action = std::move(timers_.begin()->second);
        timers_.erase(timers_.begin());
        action();
    }
}

void Reactor::run(const sigset_t& waitMask, const volatile sig_atomic_t& stopped) {
    while (!stopped) {
        fireDueTimers();
        std::vector<pollfd> fds;
        std::vector<std::uint64_t> generations;
        for (const auto& [fd, w] : watches_) {
            fds.push_back(pollfd{fd, w.events, 0});
            generations.push_back(w.generation);
        }
        timespec wait{};
        const timespec* timeout = nullptr;
        if (!timers_.empty()) {
            const double left = std::max(0.0, timers_.begin()->first - monotonicSeconds());
            wait.tv_sec = static_cast<time_t>(left);
            wait.tv_nsec = static_cast<long>((left - std::floor(left)) * 1e9);
            timeout = &wait;
        }
        if (ppoll(fds.data(), fds.size(), timeout, &waitMask) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("ppoll: " + std::to_string(errno));
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            // A handler may have closed this descriptor, or another one reused its number.
            const auto w = watches_.find(fds[i].fd);
            if (w == watches_.end() || w->second.generation != generations[i]) continue;
            auto handler = w->second.handler;
            handler(fds[i].revents);
        }
    }
}

}  // namespace sim
