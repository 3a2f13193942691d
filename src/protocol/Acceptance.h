// Which arriving datagrams are accepted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "Protocol.h"

class UdpPort;

// The acceptance rules, in order, applied to one received datagram.
bool IsAcceptable(std::span<const std::uint8_t> datagram, const StationIdentity& station);

// Reads exactly one datagram from the endpoint into buffer; returns its
// length when accepted, 0 otherwise. The datagram is consumed either way.
int ReceiveDatagram(UdpPort& udp, const StationIdentity& station,
                    std::uint8_t (&buffer)[MAX_DATAGRAM_SIZE]);
