#include "Win32DialogPort.h"

#include <commctrl.h>

#include "ResourceIds.h"

namespace {
ScreenRect ScreenRectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right, r.bottom};
}
}  // namespace

void Win32DialogPort::SetControlText(int controlId, const char* text) { SetDlgItemTextA(dialog_, controlId, text); }

int Win32DialogPort::ReadControlText(int controlId, char* buffer, int size) {
    return static_cast<int>(GetDlgItemTextA(dialog_, controlId, buffer, size));
}

void Win32DialogPort::EnableControl(int controlId, bool enable) {
    EnableWindow(GetDlgItem(dialog_, controlId), enable ? TRUE : FALSE);
}

void Win32DialogPort::LimitText(int controlId, int characters) {
    SendDlgItemMessageA(dialog_, controlId, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void Win32DialogPort::FocusControl(int controlId) { SetFocus(GetDlgItem(dialog_, controlId)); }

void Win32DialogPort::ResetDeviceLines() { SendDlgItemMessageA(dialog_, IDC_DEVICE_LIST, LB_RESETCONTENT, 0, 0); }

int Win32DialogPort::AppendDeviceLine(const char* text) {
    return static_cast<int>(
        SendDlgItemMessageA(dialog_, IDC_DEVICE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int Win32DialogPort::SelectedDeviceLine() {
    return static_cast<int>(SendDlgItemMessageA(dialog_, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0));
}

void Win32DialogPort::ClearDeviceSelection() {
    SendDlgItemMessageA(dialog_, IDC_DEVICE_LIST, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void Win32DialogPort::SetProgressRange(std::uint16_t maximum) {
    SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, maximum));
}

void Win32DialogPort::SetProgressPosition(int position) {
    SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool Win32DialogPort::AskYesNo(const char* text, const char* caption) {
    return MessageBoxA(dialog_, text, caption, MB_ICONWARNING | MB_YESNO) == IDYES;
}

ScreenRect Win32DialogPort::WindowRect() { return ScreenRectOf(dialog_); }

// A dialog's parent is its owner, the main window.
ScreenRect Win32DialogPort::ParentRect() { return ScreenRectOf(GetParent(dialog_)); }

void Win32DialogPort::MoveWindow(int x, int y, int width, int height) {
    ::MoveWindow(dialog_, x, y, width, height, TRUE);
}

void Win32DialogPort::EndDialog(int result) { ::EndDialog(dialog_, result); }
