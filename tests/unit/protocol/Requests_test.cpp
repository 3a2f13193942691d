#include "protocol/Requests.h"

#include <gtest/gtest.h>

#include <cstring>

#include "FakeUdp.h"
#include "protocol/WireBytes.h"

namespace {

const StationIdentity kStation = {0x00, 0x16, 0x3E, 0x12, 0x34, 0x56};
constexpr std::uint32_t kImageSize = 0x0003A2F1;
constexpr std::uint32_t kRouterAddress = 0xC0A80B01;  // 192.168.11.1

class RequestsTest : public ::testing::Test {
protected:
    RequestsTest() {
        udp.open = true;
        router.mac = {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C};
        router.ipAddress = kRouterAddress;
        router.key = 0x12345678;
        std::memcpy(router.password, "pass1234X", PASSWORD_SIZE);  // the ninth byte is never read
        router.extUpdateValues = &extValues;
    }

    const SentDatagram& SendOnce(std::uint8_t code, const DeviceRecord* device) {
        sender.SendRequest(code, device);
        EXPECT_EQ(udp.sent.size(), 1u);
        return udp.sent.back();
    }

    FakeUdp udp;
    FirmwareImage image{nullptr, kImageSize};
    RequestSender sender{udp, kStation, image};
    ExtUpdateValues extValues{0, 8, 0x110};
    DeviceRecord router;
};

// The header every request starts with, for `code`, `payloadLength` and `destination`.
Bytes RequestHeader(std::uint8_t code, std::uint16_t payloadLength, const Bytes& destination) {
    return Cat({
        Le16(32),                                  // [0:2)   headerLength
        Le16(0),                                   // [2:4)   reserved
        Le32(0x00010003),                          // [4:8)   version
        {static_cast<std::uint8_t>(~code), code},  // [8:10)  codeCheck, code
        Le16(payloadLength),                       // [10:12) payloadLength
        Le32(0),                                   // [12:16) reserved
        {0x00, 0x16, 0x3E, 0x12, 0x34, 0x56},      // [16:22) sourceAddress: StationIdentity
        destination,                               // [22:28) destinationAddress
        Le32(0),                                   // [28:32) status
    });
}

const Bytes kRouterMac = {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C};
// "pass1234" with key 0x12345678, worked by hand in the scrambler's tests.
const Bytes kScrambled = {0x08, 0x4F, 0xB5, 0x21, 0xDA, 0xCC, 0x56, 0x37};

TEST_F(RequestsTest, DiscoverForAllRoutersIsBroadcastToAllStations) {
    const SentDatagram& d = SendOnce(REQ_DISCOVER, nullptr);
    const Bytes expected = {
        0x20, 0x00,                          // [0:2)   headerLength 32
        0x00, 0x00,                          // [2:4)   reserved
        0x03, 0x00, 0x01, 0x00,              // [4:8)   version 0x00010003
        0x7F,                                // [8]     codeCheck
        0x80,                                // [9]     code REQ_DISCOVER
        0x00, 0x00,                          // [10:12) payloadLength 0
        0x00, 0x00, 0x00, 0x00,              // [12:16) reserved
        0x00, 0x16, 0x3E, 0x12, 0x34, 0x56,  // [16:22) sourceAddress: StationIdentity
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // [22:28) destinationAddress: all stations
        0x00, 0x00, 0x00, 0x00,              // [28:32) status
    };
    EXPECT_EQ(d.bytes, expected);
    EXPECT_EQ(d.ipAddress, 0xFFFFFFFFu);
    EXPECT_EQ(d.port, 22360);
}

TEST_F(RequestsTest, DiscoverForOneRouterNamesItButIsStillBroadcast) {
    const SentDatagram& d = SendOnce(REQ_DISCOVER, &router);
    EXPECT_EQ(d.bytes, RequestHeader(REQ_DISCOVER, 0, kRouterMac));
    EXPECT_EQ(d.ipAddress, 0xFFFFFFFFu);
    EXPECT_EQ(d.port, 22360);
}

TEST_F(RequestsTest, UpdateCarriesTheImageSizeAndTheScrambledPassword) {
    const SentDatagram& d = SendOnce(REQ_UPDATE, &router);
    const Bytes expected = Cat({
        RequestHeader(REQ_UPDATE, 12, kRouterMac),  // [0:32)
        Le32(kImageSize),                           // [32:36) image size
        kScrambled,                                 // [36:44) scrambled password
    });
    EXPECT_EQ(d.bytes, expected);
    EXPECT_EQ(d.bytes.size(), 44u);
    EXPECT_EQ(d.ipAddress, kRouterAddress);
    EXPECT_EQ(d.port, 22360);
}

TEST_F(RequestsTest, StatusGoesToTheRouterWithoutPayload) {
    const SentDatagram& d = SendOnce(REQ_STATUS, &router);
    EXPECT_EQ(d.bytes, RequestHeader(REQ_STATUS, 0, kRouterMac));
    EXPECT_EQ(d.ipAddress, kRouterAddress);
    EXPECT_EQ(d.port, 22360);
}

TEST_F(RequestsTest, ModuleInfoIsBroadcastWithTheModuleSelector) {
    for (std::uint32_t selector : {0u, 1u}) {
        udp.sent.clear();
        router.requestArg = selector;
        const SentDatagram& d = SendOnce(REQ_MODULE_INFO, &router);
        const Bytes expected = Cat({
            RequestHeader(REQ_MODULE_INFO, 4, kRouterMac),  // [0:32)
            Le32(selector),                                 // [32:36) requestArg
        });
        EXPECT_EQ(d.bytes, expected) << selector;
        EXPECT_EQ(d.ipAddress, 0xFFFFFFFFu) << selector;
    }
}

TEST_F(RequestsTest, ExtendedUpdateCarriesTheThreeValuesInOrder) {
    extValues = {0x0A0A0A0A, 0x00010008, 0x00000110};  // distinct, to show the order
    const SentDatagram& d = SendOnce(REQ_UPDATE_EXT, &router);
    const Bytes expected = Cat({
        RequestHeader(REQ_UPDATE_EXT, 24, kRouterMac),  // [0:32)
        Le32(kImageSize),                               // [32:36) image size
        Le32(0x0A0A0A0A),                               // [36:40) valueA
        Le32(0x00010008),                               // [40:44) kind
        Le32(0x00000110),                               // [44:48) valueC
        kScrambled,                                     // [48:56) scrambled password
    });
    EXPECT_EQ(d.bytes, expected);
    EXPECT_EQ(d.ipAddress, kRouterAddress);
}

TEST_F(RequestsTest, EveryResendOfTheExtendedUpdateIsTheSame) {
    for (int i = 0; i < 3; ++i) sender.SendRequest(REQ_UPDATE_EXT, &router);
    ASSERT_EQ(udp.sent.size(), 3u);
    EXPECT_EQ(udp.sent[1].bytes, udp.sent[0].bytes);
    EXPECT_EQ(udp.sent[2].bytes, udp.sent[0].bytes);
}

TEST_F(RequestsTest, ThePasswordFieldIsScrambledAsItStands) {
    // Eight characters, then three: the field holds "xyz", a NUL and the
    // last four of the earlier entry. The ninth byte plays no part.
    router.key = 0xFF80C3A5;
    std::memcpy(router.password, "xyz\0EFGH\xEE", PASSWORD_SIZE);
    const SentDatagram& d = SendOnce(REQ_UPDATE, &router);
    EXPECT_EQ(Bytes(d.bytes.begin() + 36, d.bytes.end()), (Bytes{0xDD, 0x27, 0xC7, 0x27, 0x1B, 0xB0, 0x45, 0xBA}));
}

TEST_F(RequestsTest, ReservedAndStatusBytesAreZeroInEveryRequest) {
    router.flags = 0xFFFFFFFF;
    router.netmask = 0xFFFFFF00;
    router.requestArg = 0xFFFFFFFF;
    router.listIndex = -1;
    for (std::uint8_t code : {REQ_DISCOVER, REQ_UPDATE, REQ_STATUS, REQ_MODULE_INFO, REQ_UPDATE_EXT}) {
        udp.sent.clear();
        const SentDatagram& d = SendOnce(code, &router);
        for (std::size_t i : {2u, 3u, 12u, 13u, 14u, 15u, 28u, 29u, 30u, 31u}) {
            EXPECT_EQ(d.bytes.at(i), 0) << "code 0x" << std::hex << int{code} << " byte " << std::dec << i;
        }
    }
}

TEST_F(RequestsTest, NothingIsSentForAnUnknownCodeOrAMissingRouter) {
    for (std::uint8_t code : {0x00, 0x81, 0x88, 0xC0, 0xC4, 0xFF}) sender.SendRequest(code, &router);
    for (std::uint8_t code : {REQ_UPDATE, REQ_STATUS, REQ_MODULE_INFO, REQ_UPDATE_EXT}) sender.SendRequest(code, nullptr);
    router.extUpdateValues = nullptr;
    sender.SendRequest(REQ_UPDATE_EXT, &router);
    EXPECT_TRUE(udp.sent.empty());
}

}  // namespace
