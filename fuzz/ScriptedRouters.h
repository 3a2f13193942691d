// The routers a dialog script speaks for, and the replies it builds from
// its ReplyArgs (DialogScript.h).
#pragma once

#include <cstdint>
#include <vector>

#include "DialogScript.h"
#include "protocol/Protocol.h"

struct ScriptedRouter {
    MacAddress mac;
    std::uint32_t ipAddress;  // first octet most significant
    std::uint32_t netmask;
    int number;
};

// Routers 0 to 2 are in another subnet than this computer (192.168.11.2),
// routers 3 and 4 in its own; router 5 is a stranger no request names.
ScriptedRouter PoolRouter(int index);
// The pool's router with this hardware address, or a stranger that has it.
ScriptedRouter RouterByMac(const MacAddress& mac);

// OP_REPLY's code choice as a reply code.
std::uint8_t ReplyCodeOf(std::uint8_t choice);
// Where a reply of this shape goes: this station, all stations or another.
MacAddress ReplyDestination(std::uint8_t shape, const MacAddress& station);
// The reply `code` from `router` to `to`, shaped by `args`; for
// RSP_DISCOVER a whole discovery reply of the chosen version.
std::vector<std::uint8_t> ScriptedReply(const ScriptedRouter& router, std::uint8_t code, const ReplyArgs& args,
                                        const MacAddress& to);
