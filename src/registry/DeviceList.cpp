#include "registry/DeviceList.h"

#include <new>

#include "DialogSurface.h"
#include "ResourceIds.h"

DeviceList::DeviceList(const ModelTable& models, DialogSurface& surface) : models_(models), surface_(surface) {}

DeviceList::~DeviceList() { ClearDevices(); }

DeviceRecord* DeviceList::NewDevice() {
    std::unique_ptr<DeviceRecord>* link = &head_;
    while (*link) link = &(*link)->next;
    link->reset(new (std::nothrow) DeviceRecord());
    return link->get();
}

DeviceRecord* DeviceList::FindDeviceByMac(const MacAddress& mac) const {
    for (DeviceRecord* record = FirstDevice(); record != nullptr; record = record->Next()) {
        if (record->mac == mac) return record;
    }
    return nullptr;
}

DeviceRecord* DeviceList::FindDeviceByLine(int line) const {
    // A refused list line leaves a negative listIndex, and "no selection" is
    // -1 too; neither may lead to a record.
    if (line < 0) return nullptr;
    for (DeviceRecord* record = FirstDevice(); record != nullptr; record = record->Next()) {
        if (record->listIndex == line) return record;
    }
    return nullptr;
}

int DeviceList::RemoveDevice(DeviceRecord* record) {
    for (std::unique_ptr<DeviceRecord>* link = &head_; *link; link = &(*link)->next) {
        if (link->get() == record) {
            Unlink(*link);
            return 1;
        }
    }
    return 0;
}

void DeviceList::Unlink(std::unique_ptr<DeviceRecord>& link) {
    std::unique_ptr<DeviceRecord> removed = std::move(link);
    link = std::move(removed->next);
}

int DeviceList::ClearDevices() {
    while (head_) Unlink(head_);
    return 1;
}

int DeviceList::IsDeviceEligible(const DeviceRecord& record) const {
    const int row = models_.MatchModel(record.Identity(), record.subCode);
    if (row == NO_MODEL_ROW) return 0;
    if ((record.flags & (DEV_UPDATABLE | DEV_EXT_UPDATE)) == 0) return 0;
    if (FirmwareClassOf(models_.Row(row).kind) == FIRMWARE_MAIN_UNIT) return 1;
    // Module firmware (or a class this program does not know) goes only by
    // the extended request, to a router that reported its module.
    return (record.flags & DEV_EXT_UPDATE) != 0 && record.moduleInfo[0] != '\0' ? 1 : 0;
}

void DeviceList::PublishDeviceList() {
    DialogPort& controls = surface_.Controls();
    controls.ResetDeviceLines();
    int count = 0;
    std::unique_ptr<DeviceRecord>* link = &head_;
    while (*link) {
        DeviceRecord& record = **link;
        if (IsDeviceEligible(record)) {
            record.listIndex = controls.AppendDeviceLine(record.name);
            ++count;
            link = &record.next;
        } else {
            Unlink(*link);
        }
    }
    if (count > 0) {
        surface_.SetStatusTextNum(MSG_ROUTERS_FOUND, count);
    } else {
        surface_.SetStatusText(MSG_NO_ROUTER_FOUND);
    }
}

std::size_t DeviceList::Count() const {
    std::size_t count = 0;
    for (DeviceRecord* record = FirstDevice(); record != nullptr; record = record->Next()) ++count;
    return count;
}
