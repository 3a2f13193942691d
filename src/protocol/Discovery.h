// Turning discovery replies into device records.
#pragma once

#include <cstdint>
#include <span>

#include "Protocol.h"

class DeviceList;

// Fills `record` from a RSP_DISCOVER and returns it; nullptr, with the
// record untouched, when the datagram is not one.
DeviceRecord* DecodeDiscoveryReply(std::span<const std::uint8_t> datagram, DeviceRecord& record);

// Finds the sender's record (or appends one) and decodes into it; nullptr
// when the datagram is not a RSP_DISCOVER or no record could be had.
DeviceRecord* AbsorbDiscoveryReply(std::span<const std::uint8_t> datagram, DeviceList& devices);
