#include "protocol/Networking.h"

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "FakeUdp.h"
#include "protocol/Acceptance.h"
#include "protocol/WireBytes.h"

namespace {

// A 32-byte RSP_STATUS addressed to `destination`.
Bytes ReplyTo(const StationIdentity& destination) {
    return Cat({
        Le16(32), Le16(0), Le32(0x00010003),                // [0:8)   headerLength, reserved, version
        {0x3A, 0xC5},                                       // [8:10)  codeCheck, code RSP_STATUS
        Le16(0), Le32(0),                                   // [10:16) payloadLength, reserved
        {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C},               // [16:22) sourceAddress
        Bytes(destination.begin(), destination.end()),      // [22:28) destinationAddress
        Le32(0),                                            // [28:32) status
    });
}

class NetworkingTest : public ::testing::Test {
protected:
    FakeUdp udp;
    FakeHost host;
    Networking networking{udp, host};
};

TEST_F(NetworkingTest, TheAdaptersAddressBecomesTheStationIdentity) {
    EXPECT_EQ(networking.InitNetworking(), 1);
    EXPECT_EQ(networking.Station(), (StationIdentity{0x00, 0x16, 0x3E, 0x12, 0x34, 0x56}));
    EXPECT_TRUE(host.seeds.empty()) << "no fallback drawn";
    EXPECT_TRUE(udp.libraryStarted);
    EXPECT_TRUE(udp.open);
    EXPECT_TRUE(udp.broadcast);
    EXPECT_TRUE(udp.bound);
    EXPECT_TRUE(IsAcceptable(ReplyTo(networking.Station()), networking.Station()));
}

TEST_F(NetworkingTest, WithoutAnAdapterSixDrawsSeededByTheMillisecondsMakeTheIdentity) {
    host.hasAdapter = false;
    host.milliseconds = 1;
    EXPECT_EQ(networking.InitNetworking(), 1);
    EXPECT_EQ(host.seeds, (std::vector<unsigned>{1}));
    // The C library's first six draws after srand(1): 41, 18467, 6334,
    // 26500, 19169, 15724; their low 8 bits.
    EXPECT_EQ(networking.Station(), (StationIdentity{0x29, 0x23, 0xBE, 0x84, 0xE1, 0x6C}));
    EXPECT_TRUE(IsAcceptable(ReplyTo(networking.Station()), networking.Station()));
    EXPECT_TRUE(IsAcceptable(ReplyTo(ALL_STATIONS), networking.Station()));
    EXPECT_FALSE(IsAcceptable(ReplyTo({0x00, 0x16, 0x3E, 0x12, 0x34, 0x56}), networking.Station()));

    FakeUdp otherUdp;
    FakeHost otherHost;
    otherHost.hasAdapter = false;
    otherHost.milliseconds = 999;
    Networking other(otherUdp, otherHost);
    other.InitNetworking();
    EXPECT_EQ(otherHost.seeds, (std::vector<unsigned>{999}));
    EXPECT_NE(other.Station(), networking.Station());
}

TEST_F(NetworkingTest, AFailedSocketLibraryStartOpensNoEndpoint) {
    udp.failStartup = true;
    EXPECT_EQ(networking.InitNetworking(), 0);
    EXPECT_EQ(networking.Station(), (StationIdentity{0x00, 0x16, 0x3E, 0x12, 0x34, 0x56})) << "set first, regardless";
    EXPECT_FALSE(udp.open);
    EXPECT_FALSE(udp.bound);
}

TEST_F(NetworkingTest, ASocketThatCannotBeCreatedIsNotBound) {
    udp.failOpen = true;
    EXPECT_EQ(networking.InitNetworking(), 0);
    EXPECT_FALSE(udp.open);
    EXPECT_FALSE(udp.bound);
}

TEST_F(NetworkingTest, RefusedBroadcastsLeaveTheSocketOpenButUnbound) {
    udp.refuseBroadcast = true;
    EXPECT_EQ(networking.InitNetworking(), 0);
    EXPECT_TRUE(udp.open);
    EXPECT_EQ(udp.closes, 0);
    EXPECT_FALSE(udp.bound);
}

TEST_F(NetworkingTest, GetLocalAddressIsTheHostsFirstAddressOrZero) {
    host.localAddress = 0xC0A80B02;
    EXPECT_EQ(networking.GetLocalAddress(), 0xC0A80B02u);
    host.localAddress = 0;  // the host's own name does not resolve
    EXPECT_EQ(networking.GetLocalAddress(), 0u);
}

}  // namespace
