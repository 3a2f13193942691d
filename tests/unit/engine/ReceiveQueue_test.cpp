#include "engine/ReceiveQueue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A datagram of `length` bytes whose header declares exactly that length;
// every other byte is `marker`, so copies can be told apart.
Bytes Datagram(std::size_t length, std::uint8_t marker, std::uint16_t headerLength = 32) {
    Bytes d(length, marker);
    const std::size_t payloadLength = length - headerLength;
    d[0] = static_cast<std::uint8_t>(headerLength);
    d[1] = static_cast<std::uint8_t>(headerLength >> 8);
    d[10] = static_cast<std::uint8_t>(payloadLength);
    d[11] = static_cast<std::uint8_t>(payloadLength >> 8);
    return d;
}

class ReceiveQueueTest : public ::testing::Test {
protected:
    int Append(const Bytes& d) { return queue.AppendDatagram(d.data(), d.size()); }

    // The marker of the datagram at `position`, or -1 when none is there.
    int MarkerAt(int position) {
        std::uint8_t buffer[SCAN_BUFFER_SIZE] = {};
        if (queue.PeekDatagram(position, buffer, sizeof buffer) != 1) return -1;
        return buffer[12];
    }

    std::vector<int> Markers() {
        std::vector<int> markers;
        for (int p = 0; MarkerAt(p) != -1; ++p) markers.push_back(MarkerAt(p));
        return markers;
    }

    ReceiveQueue queue;
};

TEST_F(ReceiveQueueTest, PeekOnAnEmptyQueueCopiesNothing) {
    std::uint8_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(queue.PeekDatagram(0, buffer, sizeof buffer), 0);
    for (std::uint8_t b : buffer) EXPECT_EQ(b, 0xEE);
}

TEST_F(ReceiveQueueTest, PeekCopiesExactlyTheDeclaredLengthAndOnlyWhenItFits) {
    const Bytes d = Datagram(44, 0x5A);
    ASSERT_EQ(Append(d), 1);

    Bytes buffer(60, 0xEE);
    EXPECT_EQ(queue.PeekDatagram(0, buffer.data(), 44), 1);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 44), d);
    EXPECT_EQ(buffer[44], 0xEE) << "nothing beyond the datagram is written";

    Bytes small(60, 0xEE);
    EXPECT_EQ(queue.PeekDatagram(0, small.data(), 43), 0);
    EXPECT_EQ(small, Bytes(60, 0xEE)) << "a refused copy copies nothing";
    EXPECT_EQ(queue.Count(), 1u) << "peeking never changes the queue";
}

TEST_F(ReceiveQueueTest, PayloadBeyondAFortyByteHeaderIsCopiedWhole) {
    ASSERT_EQ(Append(Datagram(50, 0x11, 40)), 1);
    std::uint8_t buffer[SCAN_BUFFER_SIZE];
    ASSERT_EQ(queue.PeekDatagram(0, buffer, 50), 1);
    EXPECT_EQ(buffer[49], 0x11);
}

TEST_F(ReceiveQueueTest, PositionsFollowArrivalOrderAndCloseUpAfterARemoval) {
    Append(Datagram(32, 0xA0));
    Append(Datagram(33, 0xA1));
    Append(Datagram(34, 0xA2));
    EXPECT_EQ(Markers(), (std::vector<int>{0xA0, 0xA1, 0xA2}));

    EXPECT_EQ(queue.RemoveDatagram(1), 1);
    EXPECT_EQ(MarkerAt(1), 0xA2) << "the former position 2 moved up";
    EXPECT_EQ(MarkerAt(2), -1);
    EXPECT_EQ(queue.RemoveDatagram(2), 0) << "nothing there";
    EXPECT_EQ(queue.Count(), 2u);
}

TEST_F(ReceiveQueueTest, ANegativePositionAddressesTheHead) {
    Append(Datagram(32, 0xB0));
    Append(Datagram(32, 0xB1));
    EXPECT_EQ(MarkerAt(-5), 0xB0);
    EXPECT_EQ(queue.RemoveDatagram(-1), 1);
    EXPECT_EQ(Markers(), (std::vector<int>{0xB1}));
}

TEST_F(ReceiveQueueTest, RemovingTheOnlyDatagramEmptiesTheQueueForTheNextArrival) {
    Append(Datagram(32, 0xC0));
    EXPECT_EQ(queue.RemoveDatagram(0), 1);
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(queue.RemoveDatagram(0), 0);
    Append(Datagram(32, 0xC1));
    EXPECT_EQ(MarkerAt(0), 0xC1);
}

TEST_F(ReceiveQueueTest, ClearEmptiesAnyQueueAndSucceedsOnAnEmptyOne) {
    EXPECT_EQ(queue.ClearDatagrams(), 1);
    for (int i = 0; i < 5; ++i) Append(Datagram(32, static_cast<std::uint8_t>(i)));
    EXPECT_EQ(queue.ClearDatagrams(), 1);
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(MarkerAt(0), -1);
}

TEST_F(ReceiveQueueTest, AppendRefusesWhatPeekCouldNotCopyFaithfully) {
    struct Case {
        const char* what;
        Bytes datagram;
    };
    Bytes declaresMore = Datagram(40, 0x01);
    declaresMore[10] += 1;  // claims one byte more than arrived
    Bytes declaresLess = Datagram(40, 0x01);
    declaresLess[10] -= 1;
    const Case cases[] = {
        {"no bytes", {}},
        {"too short for the length fields", Bytes(11, 0x00)},
        {"declares more than it holds", declaresMore},
        {"declares less than it holds", declaresLess},
        {"longer than the scan buffer", Datagram(SCAN_BUFFER_SIZE + 1, 0x02)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Append(c.datagram), 0) << c.what;
        EXPECT_EQ(queue.Count(), 0u) << c.what;
    }
    EXPECT_EQ(Append(Datagram(SCAN_BUFFER_SIZE, 0x03)), 1) << "the largest datagram fits";
    EXPECT_EQ(Append(Datagram(12, 0x04, 12)), 1) << "the smallest that holds both fields";
}

TEST_F(ReceiveQueueTest, AScanThatConsumesEverythingSeesEachDatagramOnceAndEmptiesTheQueue) {
    for (int i = 0; i < 4; ++i) Append(Datagram(32 + i, static_cast<std::uint8_t>(0xD0 + i)));
    std::vector<int> seen;
    std::vector<std::size_t> lengths;
    ScanQueue(queue, [&](std::span<const std::uint8_t> d) {
        seen.push_back(d[12]);
        lengths.push_back(d.size());
        return ScanStep::Remove;
    });
    EXPECT_EQ(seen, (std::vector<int>{0xD0, 0xD1, 0xD2, 0xD3}));
    EXPECT_EQ(lengths, (std::vector<std::size_t>{32, 33, 34, 35}));
    EXPECT_EQ(queue.Count(), 0u);
}

TEST_F(ReceiveQueueTest, AScanLeavesWhatItDoesNotConsumeInOrderAndStopsWhenAsked) {
    for (int i = 0; i < 5; ++i) Append(Datagram(32, static_cast<std::uint8_t>(0xE0 + i)));
    std::vector<int> seen;
    ScanQueue(queue, [&](std::span<const std::uint8_t> d) {
        seen.push_back(d[12]);
        if (d[12] == 0xE1) return ScanStep::Remove;
        if (d[12] == 0xE3) return ScanStep::RemoveAndStop;
        return ScanStep::Next;
    });
    EXPECT_EQ(seen, (std::vector<int>{0xE0, 0xE1, 0xE2, 0xE3}));
    EXPECT_EQ(Markers(), (std::vector<int>{0xE0, 0xE2, 0xE4}));

    seen.clear();
    ScanQueue(queue, [&](std::span<const std::uint8_t> d) {
        seen.push_back(d[12]);
        return ScanStep::Stop;
    });
    EXPECT_EQ(seen, (std::vector<int>{0xE0})) << "every scan starts again at position 0";
    EXPECT_EQ(queue.Count(), 3u);
}

}  // namespace

namespace {

TEST_F(ReceiveQueueTest, AFloodStopsAtTheCapAndTheQueueTakesMoreOnceEmptied) {
    const Bytes d = Datagram(32, 0x05);
    for (std::size_t i = 0; i < MAX_QUEUED_DATAGRAMS; ++i) ASSERT_EQ(Append(d), 1) << i;
    EXPECT_EQ(Append(d), 0);
    EXPECT_EQ(queue.Count(), MAX_QUEUED_DATAGRAMS);
    EXPECT_EQ(queue.ClearDatagrams(), 1);
    EXPECT_EQ(Append(d), 1);
}

}  // namespace
