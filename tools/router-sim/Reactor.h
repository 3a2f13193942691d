// The simulator's single thread: file descriptors to watch and timers to fire.
#pragma once

#include <poll.h>
#include <signal.h>

#include <cstdint>
#include <functional>
#include <map>

namespace sim {

class Reactor {
  public:
    using FdHandler = std::function<void(short revents)>;

    void watch(int fd, short events, FdHandler handler);
    void setEvents(int fd, short events);
    void unwatch(int fd);

    // Calls `action` once, `seconds` from now.
    void after(double seconds, std::function<void()> action);

    // Runs until `stopped` is set by a signal handler. The signals that set it must be
    // blocked outside the wait; `waitMask` is the mask during the wait, which lets them in.
    void run(const sigset_t& waitMask, const volatile sig_atomic_t& stopped);

  private:
    struct Watch {
        short events;
        std::uint64_t generation;
        FdHandler handler;
    };

    void fireDueTimers();

    std::map<int, Watch> watches_;
    std::uint64_t nextGeneration_ = 0;
    std::multimap<double, std::function<void()>> timers_;
};

}  // namespace sim
