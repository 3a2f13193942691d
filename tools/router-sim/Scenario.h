// A scenario: the routers to play and the faults each one shows, read from a small INI file.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Wire.h"

namespace sim {

// How one kind of reply reaches the wire.
struct ReplyFaults {
    unsigned dropFirst = 0;
    double dropProbability = 0;
    unsigned duplicates = 0;
    double delaySeconds = 0;
    std::optional<std::uint32_t> status;  // replaces the status the router would answer
    std::vector<Malformation> malformed;  // sent before the reply
    unsigned garbage = 0;                 // random datagrams sent before the reply
    std::optional<Mac> foreignSource;     // the reply's sourceAddress instead of the router's
};

enum class TcpBehaviour { Accept, Refuse, StallAfter, CloseAfter };

struct FloodSettings {
    unsigned count = 0;  // 0: no flood
    double rate = 1000;  // datagrams per second
    double seconds = 10;
};

struct Identity {
    std::string shortIdentity;
    std::string longIdentity;
    std::map<std::uint32_t, std::string> modules;  // module text by selector
};

struct RouterConfig {
    std::string label;
    Mac mac{};
    std::string addressText;
    std::uint32_t address = 0;  // most significant byte = first dotted octet
    std::uint32_t netmask = 0xFFFFFF00;
    std::string name;
    std::uint32_t version = 0x00010003;
    std::uint16_t capabilities = 0x0100;
    std::uint16_t subCode = 60;
    std::optional<std::uint32_t> fixedKey;  // none: a new key with every discovery reply
    std::string password;
    Identity before;
    Identity after;  // what it reports once an update has been carried out
    std::optional<std::uint32_t> imageSize;
    std::optional<std::array<std::uint32_t, 3>> extValues;
    std::optional<double> restartSeconds = 10.0;  // none: it never comes back
    bool repliesToBroadcast = false;              // destinationAddress six 0xFF bytes
    std::uint64_t seed = 1;
    std::array<ReplyFaults, KIND_COUNT> faults;
    TcpBehaviour tcp = TcpBehaviour::Accept;
    std::uint64_t tcpLimit = 0;
    FloodSettings flood;
};

struct Scenario {
    std::vector<RouterConfig> routers;
};

// Says where and what: "file:line: message".
class ScenarioError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

Scenario loadScenario(const std::string& path);

}  // namespace sim
