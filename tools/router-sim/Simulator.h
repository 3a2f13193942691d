// The routers of one scenario on one shared UDP port, each with its TCP side.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "EventLog.h"
#include "Reactor.h"
#include "Router.h"
#include "Scenario.h"
#include "UdpPort.h"

namespace sim {

class Simulator {
  public:
    // Opens every socket; throws std::runtime_error when one cannot be had.
    // Connections still open when it ends are closed and saved by each router's receiver.
    Simulator(const Scenario& scenario, EventLog& log, const std::string& imageDir);

    void run(const sigset_t& waitMask, const volatile sig_atomic_t& stopped);

  private:
    void receiveAll();
    void dispatch(const Datagram& datagram);

    EventLog& log_;
    Reactor reactor_;
    UdpPort port_;
    std::vector<std::unique_ptr<Router>> routers_;
};

}  // namespace sim
