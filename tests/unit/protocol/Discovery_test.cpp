#include "protocol/Discovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "DialogSurface.h"
#include "FakeDialog.h"
#include "FakeMessages.h"
#include "protocol/DiscoveryReplies.h"
#include "registry/DeviceList.h"

namespace {

// Whether every byte of a text field after its text is zero: a shorter new
// text replaced the old one whole.
template <std::size_t N>
bool ZeroAfterText(const char (&field)[N]) {
    const std::size_t n = std::string_view(field, N).find('\0');
    return n == std::string_view::npos || std::all_of(field + n, field + N, [](char c) { return c == 0; });
}

class DiscoveryTest : public ::testing::Test {
protected:
    DeviceRecord* Absorb(const DiscoveryFields& f) { return AbsorbDiscoveryReply(DiscoveryReply(f), devices); }

    FakeDialog dialog;
    FakeMessages messages;
    DialogSurface surface{dialog, messages};
    ModelTable models;
    DeviceList devices{models, surface};
};

TEST_F(DiscoveryTest, AFirstVersionReplyGivesNameAddressesKeyAndShortIdentityOnly) {
    DiscoveryFields f;
    f.version = 0x00010000;
    f.capabilities = 0x0F00;  // carries no flag at this version
    f.name = "Office";
    f.shortIdentity = "VQT-RN8 1.00";
    DeviceRecord* r = Absorb(f);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Name(), "Office");
    EXPECT_EQ(r->ipAddress, 0xC0A80B01u);
    EXPECT_EQ(r->netmask, 0xFFFFFF00u);
    EXPECT_EQ(r->key, 0x12345678u);
    EXPECT_EQ(r->mac, f.source);
    EXPECT_EQ(r->Identity(), "VQT-RN8 1.00");
    EXPECT_EQ(r->subCode, 0);
    EXPECT_EQ(r->flags, 0u);
    EXPECT_EQ(devices.Count(), 1u);
}

TEST_F(DiscoveryTest, CapabilityFlagsAndSubCodeFollowTheVersion) {
    struct Case {
        std::uint32_t version;
        std::uint16_t capabilities;
        std::uint32_t flags;
        std::uint16_t subCode;
    };
    constexpr std::uint32_t ALL = DEV_UPDATABLE | DEV_UPDATING | DEV_EXT_UPDATE | DEV_MODULE_SLOT;
    const Case cases[] = {
        {0x00010000, 0x0F00, 0, 0},
        {0x00010001, 0x0F00, 0, 0},
        {0x00010002, 0x0F00, DEV_UPDATABLE | DEV_UPDATING, 60},
        {0x00010003, 0x0F00, ALL, 60},
        {0x00020000, 0x0F00, ALL, 60},  // above 0x00010003: decoded like it
        {0xFFFFFFFF, 0x0F00, ALL, 60},
        {0x00010003, 0x0100, DEV_UPDATABLE, 60},
        {0x00010003, 0x0200, DEV_UPDATING, 60},
        {0x00010003, 0x0400, DEV_EXT_UPDATE, 60},
        {0x00010003, 0x0800, DEV_MODULE_SLOT, 60},
        {0x00010003, 0xF0FF, 0, 60},  // bits 0-7 and 12-15 carry nothing
        {0x00010002, 0x0C00, 0, 60},  // bits 10 and 11 arrive only with 0x00010003
    };
    for (const Case& c : cases) {
        DiscoveryFields f;
        f.version = c.version;
        f.capabilities = c.capabilities;
        DeviceRecord record;
        ASSERT_EQ(DecodeDiscoveryReply(DiscoveryReply(f), record), &record);
        EXPECT_EQ(record.flags, c.flags) << std::hex << "version " << c.version << " capabilities " << c.capabilities;
        EXPECT_EQ(record.subCode, c.subCode) << std::hex << "version " << c.version;
    }
}

TEST_F(DiscoveryTest, TheLongIdentityLiesIdentityOffsetBytesBeforeThePayloadEnd) {
    DiscoveryFields f;
    f.version = 0x00010001;
    f.identityOffset = 0;
    f.longIdentity = Fill(68, 'x');  // ignored: the offset says there is no long identity
    EXPECT_EQ(Absorb(f)->Identity(), "VQT-RN8 1.00");

    // L = 200, identityOffset 20: the text at payload offset 180.
    Bytes tail = Fill(68, 'x');
    const Bytes text = Sz("VQT-RN8 1.10 long");
    std::copy(text.begin(), text.end(), tail.begin() + 48);
    f.longIdentity = tail;
    f.identityOffset = 20;
    ASSERT_EQ(DiscoveryPayload(f).size(), 200u);
    DeviceRecord* r = Absorb(f);
    EXPECT_EQ(r->Identity(), "VQT-RN8 1.10 long");
    EXPECT_TRUE(ZeroAfterText(r->identity));

    f.version = 0x00010000;  // no identityOffset at this version
    EXPECT_EQ(Absorb(f)->Identity(), "VQT-RN8 1.00");
}

TEST_F(DiscoveryTest, TextsWithoutTerminatorAreTakenWholeAndCutToTheirField) {
    DiscoveryFields f;
    f.name = std::string(32, 'N');
    f.shortIdentity = "VQT-RN8 1.00 abc";  // 16 bytes, no NUL
    DeviceRecord* r = Absorb(f);
    EXPECT_EQ(r->Name(), std::string(32, 'N'));
    EXPECT_EQ(r->name[32], '\0');
    EXPECT_EQ(r->Identity(), "VQT-RN8 1.00 abc");

    f.longIdentity = Cat({Fill(300, 'L'), {0}});
    r = Absorb(f);
    EXPECT_EQ(r->Identity(), std::string(256, 'L')) << "a text of 256 bytes or more keeps its first 256";
    EXPECT_EQ(r->subCode, 60) << "nothing written past the identity field";
}

// The choices the protocol leaves open.
TEST_F(DiscoveryTest, APayloadShorterThanItsVersionsFixedPartIsIgnored) {
    for (std::uint32_t version : {0x00010000u, 0x00010001u, 0x00010002u, 0x00010003u, 0x00020000u}) {
        DiscoveryFields f;
        f.version = version;
        Bytes payload = DiscoveryPayload(f);
        payload.pop_back();
        const Bytes shortReply = Cat({DiscoveryHeader(f, payload.size()), payload});

        DeviceRecord record;
        std::memcpy(record.name, "Known", 6);
        record.key = 0xCAFEF00D;
        EXPECT_EQ(DecodeDiscoveryReply(shortReply, record), nullptr) << std::hex << version;
        EXPECT_EQ(record.Name(), "Known");
        EXPECT_EQ(record.key, 0xCAFEF00Du) << "a truncated reply must not wipe the key";
        EXPECT_EQ(AbsorbDiscoveryReply(shortReply, devices), nullptr);
        EXPECT_EQ(devices.Count(), 0u) << "and creates no record";

        EXPECT_NE(DecodeDiscoveryReply(DiscoveryReply(f), record), nullptr) << "exactly the fixed part is enough";
    }

    DiscoveryFields f;
    Bytes notInside = DiscoveryReply(f);
    Put16(notInside, 10, static_cast<std::uint16_t>(notInside.size()));  // a payload running past the datagram
    EXPECT_EQ(AbsorbDiscoveryReply(notInside, devices), nullptr);
}

TEST_F(DiscoveryTest, AnIdentityOffsetBeyondThePayloadKeepsTheShortIdentity) {
    DiscoveryFields f;
    f.longIdentity = Sz("VQT-RN8 1.10");
    const std::uint16_t length = static_cast<std::uint16_t>(DiscoveryPayload(f).size());
    f.identityOffset = length + 1;
    EXPECT_EQ(Absorb(f)->Identity(), "VQT-RN8 1.00");
    f.identityOffset = 0xFFFF;
    EXPECT_EQ(Absorb(f)->Identity(), "VQT-RN8 1.00");

    f.identityOffset = length;  // the whole payload: the text starts at the ipAddress bytes
    EXPECT_EQ(Absorb(f)->Identity(), std::string("\x01\x0B\xA8\xC0", 4)) << "up to the first NUL, in netmask";
}

TEST_F(DiscoveryTest, ALongIdentityWithoutNulEndsAtTheEndOfThePayload) {
    DiscoveryFields f;
    f.longIdentity = Bytes{'V', 'Q', 'T', '-', 'R', 'N', '8', ' ', '1', '.', '1', '0'};
    DeviceRecord* r = Absorb(f);
    EXPECT_EQ(r->Identity(), "VQT-RN8 1.10");
    EXPECT_EQ(models.MatchModel(r->Identity(), r->subCode), 1);
}

TEST_F(DiscoveryTest, APayloadAfterALongerHeaderIsDecodedFromHeaderLength) {
    DiscoveryFields f;
    f.headerLength = 40;
    f.name = "Behind a long header";
    EXPECT_EQ(Absorb(f)->Name(), "Behind a long header");
}

TEST_F(DiscoveryTest, AnotherReplyFromTheSameRouterRefreshesItsRecordInPlace) {
    DiscoveryFields first;
    first.name = "A long first name";
    first.longIdentity = Sz("VQT-RN8 1.00 with a long tail");
    first.capabilities = 0x0F00;
    DiscoveryFields other;
    other.source = {0x00, 0x80, 0x92, 0x99, 0x99, 0x99};
    DeviceRecord* r = Absorb(first);
    Absorb(other);
    std::memcpy(r->password, "secret\0\0", 9);
    r->listIndex = 3;
    std::memcpy(r->moduleInfo, "ISDN board", 11);
    r->requestArg = 1;

    DiscoveryFields second = first;
    second.version = 0x00010002;  // no longer reports the extended request
    second.name = "Short";
    second.longIdentity = Sz("VQT-RN8 1.10");
    second.ipAddress = 0x0A000001;
    second.key = 0x0BADCAFE;
    EXPECT_EQ(Absorb(second), r);

    EXPECT_EQ(devices.Count(), 2u);
    EXPECT_EQ(devices.FirstDevice(), r) << "it keeps its place";
    EXPECT_EQ(r->Name(), "Short");
    EXPECT_TRUE(ZeroAfterText(r->name));
    EXPECT_EQ(r->Identity(), "VQT-RN8 1.10");
    EXPECT_TRUE(ZeroAfterText(r->identity));
    EXPECT_EQ(r->ipAddress, 0x0A000001u);
    EXPECT_EQ(r->key, 0x0BADCAFEu);
    EXPECT_EQ(r->flags, DEV_UPDATABLE | DEV_UPDATING) << "DEV_EXT_UPDATE and DEV_MODULE_SLOT lost";
    EXPECT_EQ(std::memcmp(r->password, "secret\0\0", 9), 0);
    EXPECT_EQ(r->listIndex, 3);
    EXPECT_EQ(r->ModuleInfo(), "ISDN board");
    EXPECT_EQ(r->requestArg, 1u);
}

TEST_F(DiscoveryTest, TheSameNameFromTwoRoutersMakesTwoRecords) {
    DiscoveryFields a;
    DiscoveryFields b;
    b.source = {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0D};
    DeviceRecord* ra = Absorb(a);
    DeviceRecord* rb = Absorb(b);
    EXPECT_NE(ra, rb);
    EXPECT_EQ(devices.Count(), 2u);
    EXPECT_EQ(ra->Next(), rb);
}

TEST_F(DiscoveryTest, OnlyADiscoveryReplyIsDecoded) {
    DiscoveryFields f;
    for (std::uint8_t code : {std::uint8_t{RSP_MODULE_INFO}, std::uint8_t{RSP_STATUS}, std::uint8_t{REQ_DISCOVER}, std::uint8_t{0xC1}}) {
        Bytes d = DiscoveryReply(f);
        d[9] = code;
        d[8] = static_cast<std::uint8_t>(~code);
        DeviceRecord record;
        std::memcpy(record.name, "Untouched", 10);
        EXPECT_EQ(DecodeDiscoveryReply(d, record), nullptr) << int{code};
        EXPECT_EQ(record.Name(), "Untouched");
        EXPECT_EQ(AbsorbDiscoveryReply(d, devices), nullptr) << int{code};
    }
    Bytes halfCode = DiscoveryReply(f);
    halfCode[8] = 0x3E;  // 0xC03E: the code byte alone is not enough
    EXPECT_EQ(AbsorbDiscoveryReply(halfCode, devices), nullptr);
    EXPECT_EQ(AbsorbDiscoveryReply(Bytes(29, 0), devices), nullptr);
    EXPECT_EQ(devices.Count(), 0u);
}

}  // namespace
