#include "DeviceDetails.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Catalogue.h"
#include "DialogSurface.h"
#include "FakeDialog.h"
#include "FakeMessages.h"
#include "ResourceIds.h"
#include "registry/DeviceList.h"

namespace {

class DeviceDetailsTest : public ::testing::Test {
protected:
    FakeDialog dialog;
    FakeMessages messages;
    DialogSurface surface{dialog, messages};
    ModelTable models;
    DeviceList devices{models, surface};

    // A record on list line `line`; texts are copied byte for byte, without
    // a terminator when they fill their field.
    DeviceRecord& Listed(int line, std::string_view identity, std::uint32_t ip, std::string_view module = {}) {
        DeviceRecord* r = devices.NewDevice();
        r->listIndex = line;
        r->ipAddress = ip;
        std::memcpy(r->identity, identity.data(), std::min(identity.size(), sizeof r->identity));
        if (!module.empty()) std::memcpy(r->moduleInfo, module.data(), std::min(module.size(), sizeof r->moduleInfo));
        return *r;
    }
    std::string Show(int selected) {
        dialog.selection = selected;
        ShowDeviceDetails(surface, devices);
        return dialog.Status();
    }
};

TEST_F(DeviceDetailsTest, NothingSelectedOrNoRecordForTheLineLeavesTheStatus) {
    Listed(0, "VQT-RN8 1.10", 0x0A000001);
    Listed(1, "VQT-RN8 1.10", 0x0A000002);
    surface.SetStatusText(MSG_ROUTERS_FOUND);
    Show(-1);
    Show(2);
    EXPECT_EQ(dialog.statusHistory.size(), 1u);
}

TEST_F(DeviceDetailsTest, TwoLinesOrThreeWithAModuleText) {
    Listed(0, "VQT-RN8 1.10", 0xC0A80B01);
    Listed(1, "VQT-RN8 1.10", 0xFF008007, "ISDN 2.00");
    EXPECT_EQ(Utf8(Show(0)), "製品名　：　VQT-RN8 1.10\r\nIPアドレス　：　192.168.11.1");
    EXPECT_EQ(Utf8(Show(1)), "製品名　：　VQT-RN8 1.10\r\nIPアドレス　：　255.0.128.7\r\n拡張ボード　：　ISDN 2.00");
}

TEST_F(DeviceDetailsTest, TextsAreReadOnlyWithinTheirFields) {
    DeviceRecord& r = Listed(0, std::string(IDENTITY_SIZE, 'I'), 0x0A000001);
    r.subCode = 0x4242;  // 'B' 'B' right after the identity field
    EXPECT_EQ(Show(0), Cp932("製品名　：　") + std::string(IDENTITY_SIZE, 'I') + "\r\n" + Cp932("IPアドレス　：　10.0.0.1"));

    std::memset(r.identity, 0, sizeof r.identity);
    std::strcpy(r.identity, "VQT-RN8 1.10");
    std::memset(r.moduleInfo, 'M', sizeof r.moduleInfo);
    r.requestArg = 0x42424242;
    const std::string text = Show(0);
    EXPECT_TRUE(text.ends_with(Cp932("拡張ボード　：　") + std::string(DETAILS_MODULE_TEXT_LIMIT, 'M'))) << text;
    EXPECT_EQ(text.find('B'), std::string::npos);
}

// The identity gives way, on a whole character, so that the address line and
// the module text stay whole within the 511 bytes of text.
TEST_F(DeviceDetailsTest, TooLongDetailsShortenTheIdentity) {
    std::string wideIdentity;
    for (int i = 0; i < 128; ++i) wideIdentity += Cp932("ア");  // 256 bytes of two-byte characters
    const std::string module(MODULE_INFO_SIZE, 'M');
    for (const std::uint32_t ip : {0x01010101u, 0x0A010101u}) {  // both parities of room
        for (const std::string& identity : {std::string(IDENTITY_SIZE, 'I'), wideIdentity}) {
            devices.ClearDevices();
            Listed(0, identity, ip, module);
            const std::string text = Show(0);
            const std::string head = Cp932("製品名　：　");
            const std::string address = Cp932("IPアドレス　：　") + (ip == 0x01010101u ? "1.1.1.1" : "10.1.1.1");
            const std::string tail = "\r\n" + address + "\r\n" + Cp932("拡張ボード　：　") + std::string(255, 'M');
            ASSERT_TRUE(text.starts_with(head));
            ASSERT_TRUE(text.ends_with(tail)) << Utf8(text);
            const std::size_t shown = text.size() - head.size() - tail.size();
            EXPECT_EQ(text.substr(head.size(), shown), identity.substr(0, shown)) << "a prefix of the identity";
            EXPECT_LE(text.size(), 511u);
            EXPECT_GE(text.size(), 510u) << "cut by at most one byte short of the limit";
            EXPECT_NO_THROW(Utf8(text)) << "no character cut in half";
            if (identity == wideIdentity) {
                EXPECT_EQ(shown % 2, 0u);
            }
        }
    }
}

}  // namespace
