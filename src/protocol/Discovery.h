// Turning discovery replies into device records.
#pragma once

#include <cstdint>
#include <span>

#include "Protocol.h"

class DeviceList;

// Fills `record` from a RSP_DISCOVER and returns it; nullptr, with the
// record untouched, when the datagram is not one or its payload is shorter
// than the fixed part of its version.
DeviceRecord* DecodeDiscoveryReply(std::span<const std::uint8_t> datagram, DeviceRecord& record);

// Finds the sender's record (or appends one) and decodes into it; nullptr,
// with nothing created, when DecodeDiscoveryReply would refuse the datagram,
// and nullptr when no record could be had.
DeviceRecord* AbsorbDiscoveryReply(std::span<const std::uint8_t> datagram, DeviceList& devices);
