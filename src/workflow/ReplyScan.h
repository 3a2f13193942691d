// The scans the workflow's callbacks make over the receive queue.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "engine/ReceiveQueue.h"
#include "protocol/Discovery.h"
#include "protocol/Protocol.h"
#include "registry/DeviceList.h"

// Shows `visit` (header, datagram) -> ScanStep each queued reply with the
// code word of `code` whose sender is `from`, in arrival order; every other
// datagram stays where it is.
template <typename Visit>
void ScanReplies(ReceiveQueue& queue, std::uint8_t code, const MacAddress& from, Visit visit) {
    ScanQueue(queue, [&](std::span<const std::uint8_t> datagram) {
        DatagramHeader header;
        if (!ReadHeader(datagram, header) || header.CodeWord() != CodeWord(code) || header.sourceAddress != from) {
            return ScanStep::Next;
        }
        return visit(header, datagram);
    });
}

// Absorbs the queued discovery replies, removing each, until the one from
// `router` itself; true when it was among them. Other routers' replies
// refresh (or add) their records on the way.
inline bool AbsorbUntilReplyOf(ReceiveQueue& queue, DeviceList& devices, const DeviceRecord* router) {
    bool found = false;
    ScanQueue(queue, [&](std::span<const std::uint8_t> datagram) {
        const DeviceRecord* record = AbsorbDiscoveryReply(datagram, devices);
        if (record == nullptr) return ScanStep::Next;
        found = record == router;
        return found ? ScanStep::RemoveAndStop : ScanStep::Remove;
    });
    return found;
}

// A module reply's text into `moduleInfo`: the first 256 payload bytes at
// most, byte for byte, no terminator added, the rest of the field as it was.
inline void StoreModuleText(DeviceRecord& router, std::span<const std::uint8_t> datagram) {
    const std::span<const std::uint8_t> text = PayloadOf(datagram);
    std::memcpy(router.moduleInfo, text.data(), std::min(text.size(), sizeof router.moduleInfo));
}
