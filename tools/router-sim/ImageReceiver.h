// The router's TCP side on port 22360: it accepts the image stream, shows the TCP
// faults of its scenario, and saves every connection's bytes with their SHA-256.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "EventLog.h"
#include "Reactor.h"
#include "Scenario.h"
#include "UdpPort.h"

namespace sim {

class ImageReceiver {
  public:
    ImageReceiver(const RouterConfig& config, Reactor& reactor, EventLog& log, std::string imageDir);
    ~ImageReceiver();
    ImageReceiver(const ImageReceiver&) = delete;
    ImageReceiver& operator=(const ImageReceiver&) = delete;

    void open();                    // throws std::runtime_error
    void close(const char* why);    // ends the listener and every connection
    void expect(std::uint32_t size);  // an update was granted: the next connection carries it
    void forget();                  // no update is granted any more

    struct Outcome {
        bool granted = false;
        std::uint32_t expected = 0;
        std::uint64_t received = 0;
        bool whole() const { return granted && received == expected; }
    };
    // What has arrived of the granted image, after reading what is waiting.
    Outcome outcome();
    // Whether the granted image can be judged: its connection ended, all of it is in, or
    // nothing has come for a while (the sender stopped, or the router stopped reading).
    bool settled();

  private:
    struct Connection {
        int fd;
        unsigned number;
        Endpoint from;
        Bytes data;
        bool carriesImage;
        bool stalled;  // reads no more, by the scenario's tcp = stall_after N
    };

    void accept();
    void take(int fd, const Endpoint& from);
    void read(unsigned number);
    void finish(unsigned number, const std::string& why);

    const RouterConfig& config_;
    Reactor& reactor_;
    EventLog& log_;
    std::string imageDir_;
    int listenFd_ = -1;
    std::map<unsigned, Connection> connections_;
    unsigned nextNumber_ = 1;
    std::optional<std::uint32_t> granted_;
    std::uint64_t imageReceived_ = 0;
    double lastImageActivity_ = 0;
};

}  // namespace sim
