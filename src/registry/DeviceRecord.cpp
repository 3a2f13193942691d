#include "registry/DeviceRecord.h"

#include <algorithm>

namespace {
// A text field up to its first NUL, or whole when it has none.
std::string_view FieldText(const char* field, std::size_t width) {
    return {field, static_cast<std::size_t>(std::find(field, field + width, '\0') - field)};
}
}  // namespace

std::string_view DeviceRecord::Name() const { return FieldText(name, NAME_SIZE); }
std::string_view DeviceRecord::Identity() const { return FieldText(identity, IDENTITY_SIZE); }
std::string_view DeviceRecord::ModuleInfo() const { return FieldText(moduleInfo, MODULE_INFO_SIZE); }
