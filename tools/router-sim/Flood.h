// Many broken or foreign datagrams per second at one requester, bounded in count and
// time, to harden the program's receive path.
#pragma once

#include "EventLog.h"
#include "ReplyChannel.h"
#include "Reactor.h"
#include "Scenario.h"

namespace sim {

class Flood {
  public:
    Flood(const RouterConfig& config, ReplyChannel& channel, Reactor& reactor, EventLog& log);

    // Starts once per run; `sample` is a genuine discovery reply to vary.
    void startOnce(const Endpoint& to, const Mac& station, const Bytes& sample);

  private:
    void tick();
    Bytes next(std::string& what);

    const RouterConfig& config_;
    ReplyChannel& channel_;
    Reactor& reactor_;
    EventLog& log_;
    bool started_ = false;
    Endpoint to_;
    Mac station_{};
    Bytes sample_;
    double startTime_ = 0;
    unsigned sent_ = 0;
};

}  // namespace sim
