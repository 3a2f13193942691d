// The routers found, in the order their first discovery replies were absorbed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "DeviceRecord.h"
#include "ModelTable.h"

class DialogSurface;

class DeviceList {
public:
    DeviceList(const ModelTable& models, DialogSurface& surface);
    ~DeviceList();
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    // Appends a zero-filled record; nullptr when memory is exhausted.
    DeviceRecord* NewDevice();
    DeviceRecord* FirstDevice() const { return head_.get(); }
    DeviceRecord* FindDeviceByMac(const MacAddress& mac) const;
    // The first record whose listIndex is `line`; nullptr when none has it
    // or the line is negative (no selection).
    DeviceRecord* FindDeviceByLine(int line) const;
    // 1 when unlinked and freed; 0 when the record is not in the list.
    int RemoveDevice(DeviceRecord* record);
    int ClearDevices();
    int IsDeviceEligible(const DeviceRecord& record) const;
    // Drops ineligible records, fills IDC_DEVICE_LIST, shows message 3 or 6.
    void PublishDeviceList();
    std::size_t Count() const;

private:
    // Frees the record `link` holds; `link` then holds its successor.
    static void Unlink(std::unique_ptr<DeviceRecord>& link);

    const ModelTable& models_;
    DialogSurface& surface_;
    std::unique_ptr<DeviceRecord> head_;
};
