#include "protocol/Acceptance.h"

#include <gtest/gtest.h>

#include <functional>

#include "FakeUdp.h"
#include "protocol/WireBytes.h"

namespace {

const StationIdentity kStation = {0x00, 0x16, 0x3E, 0x12, 0x34, 0x56};

// A reply that passes every rule: RSP_STATUS from a router to this station.
Bytes GoodReply() {
    return {
        0x20, 0x00,                          // [0:2)   headerLength 32
        0x00, 0x00,                          // [2:4)   reserved
        0x03, 0x00, 0x01, 0x00,              // [4:8)   version 0x00010003
        0x3A,                                // [8]     codeCheck = ~code
        0xC5,                                // [9]     code RSP_STATUS
        0x00, 0x00,                          // [10:12) payloadLength 0
        0x00, 0x00, 0x00, 0x00,              // [12:16) reserved
        0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C,  // [16:22) sourceAddress: the router
        0x00, 0x16, 0x3E, 0x12, 0x34, 0x56,  // [22:28) destinationAddress: this station
        0x00, 0x00, 0x00, 0x00,              // [28:32) status STATUS_OK
    };
}

// GoodReply() cut or grown to `length` bytes, its lengths adding up again.
Bytes ReplyOfLength(std::size_t length, std::uint16_t headerLength = 32) {
    Bytes d = GoodReply();
    d.resize(length, 0x00);
    Put16(d, 0, headerLength);
    Put16(d, 10, static_cast<std::uint16_t>(length - headerLength));
    return d;
}

struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    bool accepted;
};

TEST(Acceptance, EveryRuleInOrder) {
    const Case cases[] = {
        {"the good reply", [](Bytes&) {}, true},
        // 1. at most 1500 bytes
        {"1500 bytes", [](Bytes& d) { d = ReplyOfLength(1500); }, true},
        {"1501 bytes, lengths adding up", [](Bytes& d) { d = ReplyOfLength(1501); }, false},
        {"2000 bytes", [](Bytes& d) { d = ReplyOfLength(2000); }, false},
        // 2. at least 30 bytes (30, not 32)
        {"29 bytes", [](Bytes& d) { d = ReplyOfLength(29, 29); }, false},
        {"30 bytes", [](Bytes& d) { d = ReplyOfLength(30, 30); }, true},
        {"31 bytes", [](Bytes& d) { d = ReplyOfLength(31, 30); }, true},
        {"no bytes", [](Bytes& d) { d.clear(); }, false},
        // 3. version at least 0x00010000, unsigned, no upper bound
        {"version 0x0000FFFF", [](Bytes& d) { Put32(d, 4, 0x0000FFFF); }, false},
        {"version 0", [](Bytes& d) { Put32(d, 4, 0); }, false},
        {"version 0x00010000", [](Bytes& d) { Put32(d, 4, 0x00010000); }, true},
        {"version 0x00020000", [](Bytes& d) { Put32(d, 4, 0x00020000); }, true},
        {"version 0xFFFFFFFF", [](Bytes& d) { Put32(d, 4, 0xFFFFFFFF); }, true},
        // 4. received length = headerLength + payloadLength, without 16-bit wrap-around
        {"one byte more than declared", [](Bytes& d) { d.push_back(0); }, false},
        {"one byte less than declared", [](Bytes& d) { Put16(d, 10, 1); }, false},
        {"headerLength 40, lengths adding up", [](Bytes& d) { d = ReplyOfLength(48, 40); }, true},
        {"headerLength 20, lengths adding up", [](Bytes& d) { d = ReplyOfLength(32, 20); }, true},
        {"lengths that add up only modulo 65536",
         [](Bytes& d) { Put16(d, 0, 0xFFF0); Put16(d, 10, 0x0030); }, false},
        // 5. addressed to this station, or to all stations
        {"addressed to all stations", [](Bytes& d) { std::fill(d.begin() + 22, d.begin() + 28, 0xFF); }, true},
        {"addressed to another station", [](Bytes& d) { d[27] = 0x57; }, false},
        {"addressed to FF:FF:FF:FF:FF:FE", [](Bytes& d) { std::fill(d.begin() + 22, d.begin() + 27, 0xFF); d[27] = 0xFE; }, false},
        // 6. a reply code (bit 0x40) above its complement
        {"a request: code 0x80, check 0x7F", [](Bytes& d) { d[9] = 0x80; d[8] = 0x7F; }, false},
        {"RSP_DISCOVER 0xC0 / 0x3F", [](Bytes& d) { d[9] = 0xC0; d[8] = 0x3F; }, true},
        {"0xC0 with check 0x3E", [](Bytes& d) { d[9] = 0xC0; d[8] = 0x3E; }, false},
        {"unknown reply code 0xC1 / 0x3E", [](Bytes& d) { d[9] = 0xC1; d[8] = 0x3E; }, true},
        {"bare bit 0x40 / 0xBF", [](Bytes& d) { d[9] = 0x40; d[8] = 0xBF; }, true},
        {"0xBF lacks bit 0x40", [](Bytes& d) { d[9] = 0xBF; d[8] = 0x40; }, false},
        // Nothing else is examined.
        {"reserved bytes set", [](Bytes& d) { d[2] = d[3] = d[12] = d[15] = 0xA5; }, true},
        {"any status", [](Bytes& d) { Put32(d, 28, 0xDEADBEEF); }, true},
        {"any sender", [](Bytes& d) { std::fill(d.begin() + 16, d.begin() + 22, 0xFF); }, true},
    };
    for (const Case& c : cases) {
        Bytes d = GoodReply();
        c.change(d);
        EXPECT_EQ(IsAcceptable(d, kStation), c.accepted) << c.what;
    }
}

class ReceiveDatagramTest : public ::testing::Test {
protected:
    int Receive() { return ReceiveDatagram(udp, kStation, buffer); }

    FakeUdp udp;
    std::uint8_t buffer[MAX_DATAGRAM_SIZE] = {};
};

TEST_F(ReceiveDatagramTest, ReturnsTheLengthOfAnAcceptedDatagramAndItsBytes) {
    const Bytes reply = ReplyOfLength(48, 40);
    udp.Arrive(reply);
    EXPECT_EQ(Receive(), 48);
    EXPECT_EQ(Bytes(buffer, buffer + 48), reply);
}

TEST_F(ReceiveDatagramTest, ConsumesOneDatagramPerCallWhetherAcceptedOrNot) {
    Bytes request = GoodReply();
    request[9] = 0x80;
    request[8] = 0x7F;
    udp.Arrive(request);             // dropped
    udp.Arrive({});                  // a receive error
    udp.Arrive(ReplyOfLength(1501)); // longer than the buffer
    udp.Arrive(GoodReply());
    EXPECT_EQ(Receive(), 0);
    EXPECT_EQ(Receive(), 0);
    EXPECT_EQ(Receive(), 0);
    EXPECT_EQ(Receive(), 32);
    EXPECT_TRUE(udp.inbound.empty());
    EXPECT_EQ(Receive(), 0) << "nothing left";
}

}  // namespace
