// The dialog procedure of IDD_UPDATE: it turns window messages into
// DialogEvents for the core's UpdateDialog and returns its answer.
#pragma once

#include "Win32Api.h"
#include "ports/FirmwareImage.h"
#include "registry/ModelTable.h"

// What DialogBoxParamA hands to WM_INITDIALOG.
struct DialogStart {
    HINSTANCE instance;
    FirmwareImage image;
    const ModelTable& models;
};

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
