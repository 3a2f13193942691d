// The details of the router selected in IDC_DEVICE_LIST, shown as the status text.
#pragma once

#include <cstddef>

class DeviceList;
class DialogSurface;

// Of a module text, at most this many bytes are shown.
constexpr std::size_t DETAILS_MODULE_TEXT_LIMIT = 255;

// Message 31 (name and address) or, for a router with a module text, 34.
// Nothing happens when no line is selected or no record claims the line.
// When the text would not fit its 512-byte buffer, the identity is
// shortened, on a whole character, so that the address line and the module
// text stay whole.
void ShowDeviceDetails(DialogSurface& surface, const DeviceList& devices);
