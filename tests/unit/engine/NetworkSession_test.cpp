#include "engine/NetworkSession.h"

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "FakeUdp.h"
#include "protocol/WireBytes.h"

namespace {

// A reply to all stations whose code is `code` and whose payload is `payload` bytes.
Bytes Reply(std::uint8_t code, std::uint16_t payload = 0) {
    return Cat({
        Le16(32),                                      // [0:2)   headerLength
        Le16(0),                                       // [2:4)   reserved
        Le32(0x00010003),                              // [4:8)   version
        {static_cast<std::uint8_t>(~code), code},      // [8:10)  codeCheck, code
        Le16(payload),                                 // [10:12) payloadLength
        Le32(0),                                       // [12:16) reserved
        {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C},          // [16:22) sourceAddress
        Fill(6, 0xFF),                                 // [22:28) destinationAddress: all stations
        Le32(0),                                       // [28:32) status
        Fill(payload, 0x33),                           // [32:..) payload
    });
}

class NetworkSessionTest : public ::testing::Test {
protected:
    FakeUdp udp;
    FakeHost host;
    Networking networking{udp, host};
    ReceiveQueue queue;
    NetworkSession session{networking, queue};
};

TEST_F(NetworkSessionTest, QueuesEachAcceptedDatagramByteForByte) {
    const Bytes first = Reply(0xC0, 156);
    const Bytes unknown = Reply(0xC1);  // no callback takes it, but it is queued
    udp.Arrive(first);
    udp.Arrive(unknown);
    EXPECT_EQ(session.QueueDatagram(), 1);
    EXPECT_EQ(session.QueueDatagram(), 1);
    ASSERT_EQ(queue.Count(), 2u);

    std::uint8_t buffer[SCAN_BUFFER_SIZE];
    ASSERT_EQ(queue.PeekDatagram(0, buffer, sizeof buffer), 1);
    EXPECT_EQ(Bytes(buffer, buffer + first.size()), first);
    ASSERT_EQ(queue.PeekDatagram(1, buffer, sizeof buffer), 1);
    EXPECT_EQ(Bytes(buffer, buffer + unknown.size()), unknown);
}

TEST_F(NetworkSessionTest, QueuesNothingForARejectedDatagramOrAReceiveError) {
    udp.Arrive(Reply(0x80));  // a request another station broadcast
    udp.Arrive({});           // a receive error
    EXPECT_EQ(session.QueueDatagram(), 0);
    EXPECT_EQ(session.QueueDatagram(), 0);
    EXPECT_EQ(session.QueueDatagram(), 0) << "nothing arrived at all";
    EXPECT_EQ(queue.Count(), 0u);
}

TEST_F(NetworkSessionTest, ShutdownClosesTheEndpointEndsTheLibraryAndEmptiesTheQueue) {
    networking.InitNetworking();
    udp.Arrive(Reply(0xC0));
    session.QueueDatagram();
    ASSERT_EQ(queue.Count(), 1u);

    EXPECT_EQ(session.ShutdownNetworking(), 1);
    EXPECT_EQ(udp.closes, 1);
    EXPECT_FALSE(udp.IsOpen());
    EXPECT_FALSE(udp.libraryStarted);
    EXPECT_EQ(queue.Count(), 0u);
}

TEST_F(NetworkSessionTest, ShutdownWithoutAnEndpointClosesNothingButStillEmptiesTheQueue) {
    udp.failOpen = true;
    networking.InitNetworking();
    const Bytes reply = Reply(0xC0);
    ASSERT_EQ(queue.AppendDatagram(reply.data(), reply.size()), 1);

    EXPECT_EQ(session.ShutdownNetworking(), 1);
    EXPECT_EQ(udp.closes, 0);
    EXPECT_FALSE(udp.IsOpen());
    EXPECT_FALSE(udp.libraryStarted);
    EXPECT_EQ(queue.Count(), 0u);
}

}  // namespace
