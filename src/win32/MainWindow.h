// The hidden main window: it owns the dialog and the message boxes, and is
// what a second instance looks for.
#pragma once

#include "Win32Api.h"

inline constexpr char MAIN_WINDOW_CLASS[] = "ZVR_FIRMWARE_UPDATE_UTILITY";

// Its creation parameter is the Shell whose DeferredStart runs on the
// posted destroy event.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
