// One router found on the segment.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "ModelTable.h"

using MacAddress = std::array<std::uint8_t, 6>;

constexpr std::size_t NAME_SIZE = 33;
constexpr std::size_t PASSWORD_SIZE = 9;
constexpr std::size_t IDENTITY_SIZE = 256;
constexpr std::size_t MODULE_INFO_SIZE = 256;

enum DeviceFlags : std::uint32_t {
    DEV_UPDATABLE = 0x40,
    DEV_UPDATING = 0x80,
    DEV_EXT_UPDATE = 0x100,
    DEV_MODULE_SLOT = 0x200,
};

struct DeviceRecord {
    std::unique_ptr<DeviceRecord> next;  // owned: the DeviceList is a chain of these
    char name[NAME_SIZE] = {};           // always NUL-terminated
    std::uint8_t password[PASSWORD_SIZE] = {};
    MacAddress mac = {};
    std::uint32_t flags = 0;
    std::uint32_t key = 0;
    std::uint32_t ipAddress = 0;  // first dotted octet in the most significant byte
    std::uint32_t netmask = 0;
    std::int32_t listIndex = 0;
    char identity[IDENTITY_SIZE] = {};  // may fill all 256 bytes without a NUL
    std::uint16_t subCode = 0;
    char moduleInfo[MODULE_INFO_SIZE] = {};  // may fill all 256 bytes without a NUL
    std::uint32_t requestArg = 0;            // module selector of REQ_MODULE_INFO
    // What REQ_UPDATE_EXT carries; set while the authorisation exchange runs.
    const ExtUpdateValues* extUpdateValues = nullptr;

    DeviceRecord* Next() const { return next.get(); }
    std::string_view Name() const;
    std::string_view Identity() const;
    std::string_view ModuleInfo() const;
};
