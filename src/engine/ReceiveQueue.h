// Accepted datagrams in arrival order, until a callback consumes them or the
// next exchange starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <span>
#include <vector>

constexpr std::size_t SCAN_BUFFER_SIZE = 1500;
// Far above what a search of hundreds of routers collects (three replies
// each), and at most about 24 MB.
constexpr std::size_t MAX_QUEUED_DATAGRAMS = 16384;

// headerLength + payloadLength (bytes 0-1 and 10-11), the length a datagram
// declares; 0 when it is too short to hold both fields.
std::size_t DeclaredLength(std::span<const std::uint8_t> datagram);

class ReceiveQueue {
public:
    // 1 when queued; 0 when no memory was left, MAX_QUEUED_DATAGRAMS are
    // already queued, or the datagram does not hold
    // what the queue relies on: its declared length equal to `length` and no
    // more than SCAN_BUFFER_SIZE bytes (the queue is then unchanged). Accepted
    // datagrams always do.
    int AppendDatagram(const std::uint8_t* datagram, std::size_t length);
    // Copies the datagram at `position` (0 or less: the head) into buffer.
    // Its length comes from its own header (headerLength + payloadLength).
    // 1 when copied; 0 when there is none there or it exceeds capacity.
    int PeekDatagram(int position, std::uint8_t* buffer, std::size_t capacity) const;
    int RemoveDatagram(int position);
    int ClearDatagrams();
    std::size_t Count() const { return nodes_.size(); }

private:
    std::list<std::vector<std::uint8_t>> nodes_;
};

// What a callback's scan does with the datagram it was shown.
enum class ScanStep { Next, Remove, Stop, RemoveAndStop };

// The scan every callback makes: from position 0, each datagram copied into
// a 1500-byte buffer and shown to `visit` (a std::span<const std::uint8_t>
// of its bytes); a removed datagram's successor is shown next.
template <typename Visit>
void ScanQueue(ReceiveQueue& queue, Visit visit) {
    std::uint8_t buffer[SCAN_BUFFER_SIZE];
    int position = 0;
    while (queue.PeekDatagram(position, buffer, sizeof buffer) == 1) {
        const std::size_t length = DeclaredLength(buffer);
        const ScanStep step = visit(std::span<const std::uint8_t>(buffer, length));
        const bool remove = step == ScanStep::Remove || step == ScanStep::RemoveAndStop;
        if (remove && queue.RemoveDatagram(position) == 1) {
            position -= 1;
        }
        if (step == ScanStep::Stop || step == ScanStep::RemoveAndStop) {
            return;
        }
        position += 1;
    }
}
