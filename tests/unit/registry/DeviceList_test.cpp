#include "registry/DeviceList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "DialogSurface.h"
#include "FakeDialog.h"
#include "FakeMessages.h"

namespace {

struct Router {
    std::string name;
    std::string identity = "VQT-RN8 1.10";
    std::uint32_t flags = DEV_UPDATABLE;
    std::uint16_t subCode = 60;
    std::string moduleInfo = "";
};

void Fill(DeviceRecord& record, const Router& r, std::uint8_t macLast) {
    std::memcpy(record.name, r.name.data(), std::min(r.name.size(), NAME_SIZE - 1));
    std::memcpy(record.identity, r.identity.data(), std::min(r.identity.size(), IDENTITY_SIZE));
    std::memcpy(record.moduleInfo, r.moduleInfo.data(), std::min(r.moduleInfo.size(), MODULE_INFO_SIZE));
    record.flags = r.flags;
    record.subCode = r.subCode;
    record.mac = {0x00, 0x80, 0x92, 0x00, 0x00, macLast};
}

class DeviceListTest : public ::testing::Test {
protected:
    DeviceRecord* Add(const Router& r) {
        DeviceRecord* record = devices.NewDevice();
        Fill(*record, r, nextMac++);
        return record;
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (DeviceRecord* d = devices.FirstDevice(); d != nullptr; d = d->Next()) names.emplace_back(d->Name());
        return names;
    }

    std::vector<int> ListIndexes() const {
        std::vector<int> indexes;
        for (DeviceRecord* d = devices.FirstDevice(); d != nullptr; d = d->Next()) indexes.push_back(d->listIndex);
        return indexes;
    }

    FakeDialog dialog;
    FakeMessages messages;
    DialogSurface surface{dialog, messages};
    ModelTable models;
    DeviceList devices{models, surface};
    std::uint8_t nextMac = 1;
};

TEST_F(DeviceListTest, NewRecordsAreZeroFilledAndAppendedAtTheTail) {
    DeviceRecord* a = devices.NewDevice();
    ASSERT_NE(a, nullptr);
    const auto allZero = [](const auto& field) {
        return std::all_of(std::begin(field), std::end(field), [](auto b) { return b == 0; });
    };
    EXPECT_TRUE(allZero(a->name));
    EXPECT_TRUE(allZero(a->password));
    EXPECT_TRUE(allZero(a->mac));
    EXPECT_TRUE(allZero(a->identity));
    EXPECT_TRUE(allZero(a->moduleInfo));
    EXPECT_EQ(a->flags, 0u);
    EXPECT_EQ(a->key, 0u);
    EXPECT_EQ(a->ipAddress, 0u);
    EXPECT_EQ(a->netmask, 0u);
    EXPECT_EQ(a->listIndex, 0);
    EXPECT_EQ(a->subCode, 0);
    EXPECT_EQ(a->requestArg, 0u);
    EXPECT_EQ(a->extUpdateValues, nullptr);
    EXPECT_EQ(a->Next(), nullptr);

    DeviceRecord* b = devices.NewDevice();
    DeviceRecord* c = devices.NewDevice();
    EXPECT_EQ(devices.FirstDevice(), a);
    EXPECT_EQ(a->Next(), b);
    EXPECT_EQ(b->Next(), c);
    EXPECT_EQ(c->Next(), nullptr);
    EXPECT_EQ(devices.Count(), 3u);
}

TEST_F(DeviceListTest, FindDeviceByMacReturnsTheFirstRecordWithThatAddress) {
    DeviceRecord* first = Add({"first"});
    DeviceRecord* second = Add({"second"});
    EXPECT_EQ(devices.FindDeviceByMac(second->mac), second);
    EXPECT_EQ(devices.FindDeviceByMac(first->mac), first);
    EXPECT_EQ(devices.FindDeviceByMac({0x00, 0x80, 0x92, 0x00, 0x00, 0x99}), nullptr);
    EXPECT_EQ(devices.FindDeviceByMac({0x00, 0x80, 0x92, 0x00, 0x01, 0x02}), nullptr) << "all six bytes count";
}

TEST_F(DeviceListTest, RemoveDeviceUnlinksFromAnyPlace) {
    DeviceRecord* a = Add({"A"});
    DeviceRecord* b = Add({"B"});
    DeviceRecord* c = Add({"C"});
    DeviceRecord* d = Add({"D"});

    EXPECT_EQ(devices.RemoveDevice(d), 1);
    EXPECT_EQ(c->Next(), nullptr) << "the one before the last is the last now";
    EXPECT_EQ(devices.RemoveDevice(b), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(devices.RemoveDevice(a), 1);
    EXPECT_EQ(devices.FirstDevice(), c);
    EXPECT_EQ(devices.RemoveDevice(c), 1);
    EXPECT_EQ(devices.FirstDevice(), nullptr);
}

TEST_F(DeviceListTest, RemoveDeviceOfARecordNotInTheListFreesNothing) {
    Add({"A"});
    DeviceRecord stranger;
    EXPECT_EQ(devices.RemoveDevice(&stranger), 0);
    EXPECT_EQ(devices.RemoveDevice(nullptr), 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"A"}));
}

TEST_F(DeviceListTest, ClearDevicesEmptiesTheList) {
    EXPECT_EQ(devices.ClearDevices(), 1);
    for (int i = 0; i < 3; ++i) Add({"R"});
    EXPECT_EQ(devices.ClearDevices(), 1);
    EXPECT_EQ(devices.FirstDevice(), nullptr);
    EXPECT_EQ(devices.Count(), 0u);
}

TEST_F(DeviceListTest, EligibilityForTheBuiltInMainUnitImage) {
    struct Case {
        const char* what;
        Router router;
        int eligible;
    };
    const Case cases[] = {
        {"updatable, row 1", {"r", "VQT-RN8 1.00", DEV_UPDATABLE}, 1},
        {"extended update only", {"r", "VQT-RN8 1.00", DEV_EXT_UPDATE}, 1},
        {"whole-text row 0", {"r", "VQT-RN8", DEV_UPDATABLE}, 1},
        {"updating is no obstacle", {"r", "VQT-RN8 1.00", DEV_UPDATABLE | DEV_UPDATING}, 1},
        {"identity matches no row", {"r", "VQT-RN9 1.00", DEV_UPDATABLE}, 0},
        {"wrong sub-code", {"r", "VQT-RN8 1.00", DEV_UPDATABLE, 61}, 0},
        {"neither update flag", {"r", "VQT-RN8 1.00", DEV_UPDATING | DEV_MODULE_SLOT}, 0},
        {"no flags", {"r", "VQT-RN8 1.00", 0}, 0},
    };
    for (const Case& c : cases) {
        DeviceRecord record;
        Fill(record, c.router, 1);
        EXPECT_EQ(devices.IsDeviceEligible(record), c.eligible) << c.what;
    }
}

TEST_F(DeviceListTest, EligibilityForModuleFirmwareNeedsTheExtendedRequestAndAModule) {
    const ModelRow moduleRows[] = {
        {"ISDN$", 0, "ISDN 2.0", "2.0", 0x00010008, 0x110, 0},
        {"MODEM$", 0, "MODEM 3.0", "3.0", 0x00020008, 0x110, 0},
        {"ODD$", 0, "ODD 1.0", "1.0", 0x00070008, 0x110, 0},  // a class of its own: treated like a module
    };
    const ModelTable moduleTable(moduleRows);
    DeviceList moduleDevices(moduleTable, surface);
    struct Case {
        std::uint32_t flags;
        const char* moduleInfo;
        int eligible;
    };
    const Case cases[] = {
        {DEV_EXT_UPDATE, "ISDN board", 1},
        {DEV_EXT_UPDATE | DEV_UPDATABLE, "ISDN board", 1},
        {DEV_EXT_UPDATE, "", 0},              // no module reported
        {DEV_UPDATABLE, "ISDN board", 0},     // the plain request cannot carry module firmware
        {DEV_UPDATABLE | DEV_MODULE_SLOT, "ISDN board", 0},
    };
    for (const char* identity : {"ISDN", "MODEM", "ODD"}) {
        for (const Case& c : cases) {
            DeviceRecord record;
            Fill(record, {"r", identity, c.flags, 7, c.moduleInfo}, 1);
            EXPECT_EQ(moduleDevices.IsDeviceEligible(record), c.eligible)
                << identity << " flags 0x" << std::hex << c.flags << " module \"" << c.moduleInfo << '"';
        }
    }
}

TEST_F(DeviceListTest, PublishListsEveryEligibleRouterInListOrder) {
    Add({"Office"});
    Add({"Upstairs", "VQT-RN8"});
    Add({"Shop", "VQT-RN8 1.05", DEV_EXT_UPDATE | DEV_UPDATING});
    dialog.lines = {"stale line"};

    devices.PublishDeviceList();

    EXPECT_EQ(dialog.lines, (std::vector<std::string>{"Office", "Upstairs", "Shop"}));
    EXPECT_EQ(ListIndexes(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Utf8(dialog.Status()), "3台のネトリアが見つかりました。");
}

TEST_F(DeviceListTest, PublishDropsTheIneligibleAndNumbersTheRestFromZero) {
    Add({"A"});
    Add({"B", "VQT-RN8 1.10", 0});
    Add({"C"});

    devices.PublishDeviceList();

    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(ListIndexes(), (std::vector<int>{0, 1}));
    EXPECT_EQ(dialog.lines, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(devices.FindDeviceByLine(1)->Name(), "C");
    EXPECT_EQ(Utf8(dialog.Status()), "2台のネトリアが見つかりました。");
}

TEST_F(DeviceListTest, PublishWithNoEligibleRouterEmptiesBothListsAndSaysSo) {
    for (const bool withRecords : {false, true}) {
        if (withRecords) {
            Add({"X", "Other model"});
            Add({"Y", "VQT-RN8 1.10", DEV_UPDATING});
        }
        dialog.lines = {"stale line"};
        devices.PublishDeviceList();
        EXPECT_TRUE(dialog.lines.empty()) << withRecords;
        EXPECT_EQ(devices.FirstDevice(), nullptr) << withRecords;
        EXPECT_EQ(Utf8(dialog.Status()), "ネトリアは検出されませんでした。") << withRecords;
    }
}

TEST_F(DeviceListTest, ARefusedLineLeavesTheRecordListedByNoLine) {
    Add({"A"});
    Add({"B"});
    dialog.refuseLinesFrom = 1;

    devices.PublishDeviceList();

    EXPECT_EQ(ListIndexes(), (std::vector<int>{0, -1}));
    EXPECT_EQ(devices.Count(), 2u);
    EXPECT_EQ(devices.FindDeviceByLine(-1), nullptr) << "no selection must not find the unlisted record";
    EXPECT_EQ(devices.FindDeviceByLine(0)->Name(), "A");
    EXPECT_EQ(devices.FindDeviceByLine(1), nullptr);
}

TEST_F(DeviceListTest, ARouterHeardOfAfterPublicationHasNoLineOfItsOwn) {
    Add({"A"});
    Add({"B"});
    devices.PublishDeviceList();
    DeviceRecord* late = Add({"Late"});

    EXPECT_EQ(late->listIndex, 0);
    EXPECT_EQ(devices.FindDeviceByLine(0)->Name(), "A") << "the published record stands before it";
    EXPECT_EQ(devices.FindDeviceByLine(1)->Name(), "B");
}

}  // namespace
