#include "DeviceDetails.h"

#include <cstdint>
#include <string_view>

#include "BoundedFormat.h"
#include "DialogSurface.h"
#include "ResourceIds.h"
#include "registry/DeviceList.h"

void ShowDeviceDetails(DialogSurface& surface, const DeviceList& devices) {
    const int line = surface.Controls().SelectedDeviceLine();
    if (line < 0) return;
    const DeviceRecord* record = devices.FindDeviceByLine(line);
    if (record == nullptr) return;

    const std::string_view identity = FieldText(record->identity, sizeof record->identity);
    const std::string_view module = FieldText(record->moduleInfo, DETAILS_MODULE_TEXT_LIMIT);
    const unsigned message = module.empty() ? MSG_DETAILS : MSG_DETAILS_WITH_MODULE;
    const std::uint32_t ip = record->ipAddress;  // first octet most significant

    char format[STATUS_TEXT_SIZE];
    surface.LoadMessage(message, format, sizeof format);
    // Message 31 has no third text; the (empty) module argument goes unused.
    auto compose = [&](char* out, std::string_view shownIdentity) {
        return FormatText(out, STATUS_TEXT_SIZE, format,
                          {FormatArg::Str(shownIdentity), FormatArg::Num(static_cast<std::int32_t>(ip >> 24 & 0xFF)),
                           FormatArg::Num(static_cast<std::int32_t>(ip >> 16 & 0xFF)),
                           FormatArg::Num(static_cast<std::int32_t>(ip >> 8 & 0xFF)),
                           FormatArg::Num(static_cast<std::int32_t>(ip & 0xFF)), FormatArg::Str(module)});
    };

    // Room for the identity is what the rest of the text leaves of the buffer.
    char text[STATUS_TEXT_SIZE];
    const std::size_t rest = compose(text, {});
    const std::size_t room = STATUS_TEXT_SIZE - 1 > rest ? STATUS_TEXT_SIZE - 1 - rest : 0;
    char shortened[STATUS_TEXT_SIZE];
    // The formatter cuts on a whole character.
    const std::size_t shown = FormatText(shortened, room + 1, "%s", {FormatArg::Str(identity)});
    compose(text, std::string_view(shortened, shown));
    surface.Controls().SetControlText(IDC_INFO_TEXT, text);
}
