#include "engine/ReceiveQueue.h"

#include <algorithm>
#include <new>

#include "protocol/ByteCursor.h"

namespace {
// Both length fields lie in the first 12 bytes.
constexpr std::size_t LENGTH_FIELDS_END = 12;

template <typename List>
auto NodeAt(List& nodes, int position) {
    auto node = nodes.begin();
    for (int i = 0; i < position && node != nodes.end(); ++i) ++node;
    return node;
}
}  // namespace

std::size_t DeclaredLength(std::span<const std::uint8_t> datagram) {
    ByteReader reader(datagram);
    const std::size_t headerLength = reader.U16();
    reader.Skip(8);  // reserved, version, codeCheck, code
    const std::size_t payloadLength = reader.U16();
    return reader.Ok() ? headerLength + payloadLength : 0;
}

int ReceiveQueue::AppendDatagram(const std::uint8_t* datagram, std::size_t length) {
    // A stored datagram must never make PeekDatagram read past its node, nor
    // stop a scan early by not fitting the scan buffer.
    if (length < LENGTH_FIELDS_END || length > SCAN_BUFFER_SIZE) return 0;
    if (DeclaredLength({datagram, length}) != length) return 0;
    // Anyone on the segment can send us accepted datagrams; a flood while no
    // callback reads the queue (the image transfer) must not take all memory.
    if (nodes_.size() >= MAX_QUEUED_DATAGRAMS) return 0;
    try {
        nodes_.emplace_back(datagram, datagram + length);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int ReceiveQueue::PeekDatagram(int position, std::uint8_t* buffer, std::size_t capacity) const {
    const auto node = NodeAt(nodes_, position);
    if (node == nodes_.end()) return 0;
    const std::size_t length = DeclaredLength(*node);
    if (length > capacity) return 0;
    std::copy_n(node->begin(), length, buffer);
    return 1;
}

int ReceiveQueue::RemoveDatagram(int position) {
    const auto node = NodeAt(nodes_, position);
    if (node == nodes_.end()) return 0;
    nodes_.erase(node);
    return 1;
}

int ReceiveQueue::ClearDatagrams() {
    nodes_.clear();
    return 1;
}
