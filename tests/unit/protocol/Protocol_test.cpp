#include "protocol/Protocol.h"

#include <gtest/gtest.h>

#include "protocol/WireBytes.h"

namespace {

TEST(DatagramHeader, CodeWordsAreTheCodeAboveItsComplement) {
    EXPECT_EQ(CodeWord(REQ_DISCOVER), 0x807F);
    EXPECT_EQ(CodeWord(REQ_UPDATE), 0x847B);
    EXPECT_EQ(CodeWord(REQ_STATUS), 0x857A);
    EXPECT_EQ(CodeWord(REQ_MODULE_INFO), 0x8679);
    EXPECT_EQ(CodeWord(REQ_UPDATE_EXT), 0x8778);
    EXPECT_EQ(CodeWord(RSP_DISCOVER), 0xC03F);
    EXPECT_EQ(CodeWord(RSP_UPDATE), 0xC43B);
    EXPECT_EQ(CodeWord(RSP_STATUS), 0xC53A);
    EXPECT_EQ(CodeWord(RSP_MODULE_INFO), 0xC639);
    EXPECT_EQ(CodeWord(RSP_UPDATE_EXT), 0xC738);
    EXPECT_EQ(ROUTER_PORT, 0x5758);
}

TEST(DatagramHeader, ReadsEveryFieldLittleEndian) {
    const Bytes datagram = {
        0x28, 0x00,                          // [0:2)   headerLength 40
        0xAA, 0xBB,                          // [2:4)   reserved
        0x02, 0x00, 0x01, 0x00,              // [4:8)   version 0x00010002
        0x3B,                                // [8]     codeCheck
        0xC4,                                // [9]     code RSP_UPDATE
        0x02, 0x00,                          // [10:12) payloadLength 2
        0xCC, 0xDD, 0xEE, 0xFF,              // [12:16) reserved
        0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C,  // [16:22) sourceAddress
        0x00, 0x16, 0x3E, 0x12, 0x34, 0x56,  // [22:28) destinationAddress
        0x01, 0x00, 0x00, 0x80,              // [28:32) status STATUS_BAD_PASSWORD
        0, 0, 0, 0, 0, 0, 0, 0,              // [32:40) rest of the header
        0x5A, 0xA5,                          // [40:42) payload
    };
    DatagramHeader h;
    ASSERT_TRUE(ReadHeader(datagram, h));
    EXPECT_EQ(h.headerLength, 40);
    EXPECT_EQ(h.version, 0x00010002u);
    EXPECT_EQ(h.codeCheck, 0x3B);
    EXPECT_EQ(h.code, RSP_UPDATE);
    EXPECT_EQ(h.CodeWord(), 0xC43B);
    EXPECT_EQ(h.payloadLength, 2);
    EXPECT_EQ(h.sourceAddress, (MacAddress{0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(h.destinationAddress, (MacAddress{0x00, 0x16, 0x3E, 0x12, 0x34, 0x56}));
    EXPECT_EQ(h.status, STATUS_BAD_PASSWORD);

    const auto payload = PayloadOf(datagram);
    EXPECT_EQ(Bytes(payload.begin(), payload.end()), (Bytes{0x5A, 0xA5})) << "the payload starts at headerLength";
}

TEST(DatagramHeader, AnIncompleteStatusNeverReadsAsSuccess) {
    Bytes datagram = Cat({Le16(30), Fill(26, 0), Le16(0)});  // a 30-byte header declaring 30 + 0, status 00 00 ..
    DatagramHeader h;
    ASSERT_TRUE(ReadHeader(datagram, h));
    EXPECT_EQ(h.status, 0xFFFF0000u) << "bytes 30-31 did not arrive";
    EXPECT_NE(h.status, STATUS_OK);

    datagram.push_back(0x12);
    ASSERT_TRUE(ReadHeader(datagram, h));
    EXPECT_EQ(h.status, 0xFF120000u);

    datagram.resize(29);
    EXPECT_FALSE(ReadHeader(datagram, h)) << "29 bytes hold no header";
}

TEST(DatagramHeader, PayloadOfIsEmptyWhenThePayloadIsNotInsideTheDatagram) {
    Bytes datagram = Cat({Le16(32), Fill(30, 0)});
    Put16(datagram, 10, 1);  // declares one payload byte that is not there
    EXPECT_TRUE(PayloadOf(datagram).empty());
    Put16(datagram, 0, 0x0040);  // headerLength beyond the end
    Put16(datagram, 10, 0);
    EXPECT_TRUE(PayloadOf(datagram).empty());
    EXPECT_TRUE(PayloadOf(Bytes(29, 0)).empty());
}

}  // namespace
