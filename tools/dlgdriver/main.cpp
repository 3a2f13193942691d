// dlgdriver: reads and operates the program's dialog from outside, for the
// end-to-end tests. Every run writes one JSON report (UTF-8) to the file
// named first on its command line; Wine programs' output is never read
// through pipes.
//
//   dlgdriver OUT.json snapshot CAPTION
//   dlgdriver OUT.json press CAPTION CONTROL_ID
//   dlgdriver OUT.json select CAPTION LINE
//   dlgdriver OUT.json set-text CAPTION CONTROL_ID TEXT
//   dlgdriver OUT.json answer CAPTION yes|no|ok
//   dlgdriver OUT.json minimize-main
//
// CAPTION finds the windows of class #32770 with that title: the dialog is
// the one with the router list, every other one of the dialog's process (of
// any process while there is no dialog) is a message box.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "Json.h"
#include "ResourceIds.h"
#include "Windows.h"

namespace {

constexpr char DIALOG_CLASS[] = "#32770";
constexpr char MAIN_WINDOW_CLASS[] = "ZVR_FIRMWARE_UPDATE_UTILITY";
constexpr UINT SEND_TIMEOUT_MS = 5000;
// The text control of a message box (Windows and Wine alike).
constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
    return static_cast<LRESULT>(result);
}

bool IsUpdateDialog(HWND window) { return GetDlgItem(window, IDC_DEVICE_LIST) != nullptr; }

HWND FindUpdateDialog(const std::string& caption) {
    for (HWND window : TopLevelWindows(DIALOG_CLASS, caption)) {
        if (IsUpdateDialog(window)) return window;
    }
    return nullptr;
}

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// The message boxes with the caption; while the dialog is open, only those
// of its process.
std::vector<HWND> FindMessageBoxes(const std::string& caption) {
    const HWND dialog = FindUpdateDialog(caption);
    std::vector<HWND> boxes;
    for (HWND window : TopLevelWindows(DIALOG_CLASS, caption)) {
        if (IsUpdateDialog(window)) continue;
        if (dialog != nullptr && ProcessOf(window) != ProcessOf(dialog)) continue;
        boxes.push_back(window);
    }
    return boxes;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

void WriteDeviceList(Json& json, HWND dialog) {
    const HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
    const auto count = static_cast<int>(SendWithTimeout(list, LB_GETCOUNT, 0, 0));
    json.Key("lines").BeginArray();
    for (int i = 0; i < count; ++i) {
        const auto length = static_cast<int>(SendWithTimeout(list, LB_GETTEXTLEN, i, 0));
        if (length < 0) break;
        std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
        const auto copied = static_cast<int>(SendWithTimeout(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data())));
        line.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
        json.String(Utf8FromWide(line));
    }
    json.EndArray();
    json.Key("selection").Number(static_cast<int>(SendWithTimeout(list, LB_GETCURSEL, 0, 0)));
}

void WriteProgress(Json& json, HWND dialog) {
    const HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
    json.Key("low").Number(static_cast<int>(SendWithTimeout(bar, PBM_GETRANGE, TRUE, 0)));
    json.Key("high").Number(static_cast<int>(SendWithTimeout(bar, PBM_GETRANGE, FALSE, 0)));
    json.Key("pos").Number(static_cast<int>(SendWithTimeout(bar, PBM_GETPOS, 0, 0)));
}

int FocusedControlId(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) || info.hwndFocus == nullptr) return 0;
    return info.hwndFocus == dialog ? 0 : GetDlgCtrlID(info.hwndFocus);
}

void WriteDialog(Json& json, HWND dialog) {
    json.BeginObject();
    WriteWindowSummary(json, dialog);
    json.Key("focus").Number(FocusedControlId(dialog));
    json.Key("controls").BeginArray();
    for (HWND control : Children(dialog)) {
        json.BeginObject();
        WriteWindowSummary(json, control);
        json.EndObject();
    }
    json.EndArray();
    json.Key("list").BeginObject();
    WriteDeviceList(json, dialog);
    json.EndObject();
    json.Key("progress").BeginObject();
    WriteProgress(json, dialog);
    json.EndObject();
    json.EndObject();
}

void WriteMessageBox(Json& json, HWND box) {
    json.BeginObject();
    WriteWindowSummary(json, box);
    const HWND owner = GetWindow(box, GW_OWNER);
    json.Key("owner");
    if (owner == nullptr) {
        json.Null();
    } else {
        json.BeginObject();
        WriteWindowSummary(json, owner);
        json.EndObject();
    }
    const HWND text = GetDlgItem(box, MESSAGE_BOX_TEXT_ID);
    json.Key("message").String(text != nullptr ? WindowTextUtf8(text) : std::string());
    json.Key("buttons").BeginArray();
    for (HWND control : Children(box)) {
        if (ClassNameOf(control) != "Button") continue;
        json.BeginObject().Key("id").Number(GetDlgCtrlID(control)).Key("text").String(WindowTextUtf8(control)).EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void WriteTopLevel(Json& json, HWND window) {
    if (window == nullptr) {
        json.Null();
        return;
    }
    json.BeginObject();
    WriteWindowSummary(json, window);
    json.EndObject();
}

void Snapshot(Json& json, const std::string& caption) {
    RECT desktopWindow{}, desktopClient{};
    GetWindowRect(GetDesktopWindow(), &desktopWindow);
    GetClientRect(GetDesktopWindow(), &desktopClient);
    json.Key("acp").Number(GetACP());
    json.Key("desktop").BeginObject();
    json.Key("window").BeginArray().Number(desktopWindow.left).Number(desktopWindow.top).Number(desktopWindow.right)
        .Number(desktopWindow.bottom).EndArray();
    json.Key("client").BeginArray().Number(desktopClient.left).Number(desktopClient.top).Number(desktopClient.right)
        .Number(desktopClient.bottom).EndArray();
    json.EndObject();
    json.Key("foreground");
    WriteTopLevel(json, GetForegroundWindow());
    json.Key("main_windows").BeginArray();
    for (HWND window : TopLevelWindows(MAIN_WINDOW_CLASS, "")) WriteTopLevel(json, window);
    json.EndArray();
    json.Key("dialog");
    const HWND dialog = FindUpdateDialog(caption);
    if (dialog == nullptr) {
        json.Null();
    } else {
        WriteDialog(json, dialog);
    }
    json.Key("message_boxes").BeginArray();
    for (HWND box : FindMessageBoxes(caption)) WriteMessageBox(json, box);
    json.EndArray();
}

// Presses a button as a click does, without waiting: its handler may open a
// modal box. A disabled control takes no click.
std::string Press(HWND dialog, int id) {
    const HWND button = GetDlgItem(dialog, id);
    if (button == nullptr) return "no such control";
    if (!IsWindowEnabled(button)) return "control disabled";
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return {};
}

// What a click on a line does: the selection moves, then the list tells the dialog.
std::string Select(HWND dialog, int line) {
    const HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
    if (!IsWindowEnabled(list)) return "control disabled";
    if (SendWithTimeout(list, LB_SETCURSEL, static_cast<WPARAM>(line), 0) == LB_ERR && line != -1) return "no such line";
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_DEVICE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return {};
}

std::string SetText(HWND dialog, int id, const std::wstring& text) {
    const HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return "no such control";
    SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return {};
}

std::string Answer(const std::string& caption, const std::wstring& answer) {
    int id = 0;
    if (answer == L"yes") id = IDYES;
    if (answer == L"no") id = IDNO;
    if (answer == L"ok") id = IDOK;
    if (id == 0) return "answer must be yes, no or ok";
    for (HWND box : FindMessageBoxes(caption)) {
        const HWND button = GetDlgItem(box, id);
        if (button == nullptr) continue;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return {};
    }
    return "no message box with that button";
}

std::string MinimizeMain() {
    const HWND main = FindWindowA(MAIN_WINDOW_CLASS, nullptr);
    if (main == nullptr) return "no main window";
    ShowWindowAsync(main, SW_MINIMIZE);
    return {};
}

bool WriteReport(const wchar_t* path, const std::string& text) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

// Runs one command; returns its error ("" on success).
std::string Run(Json& json, int argc, wchar_t** argv) {
    const std::wstring command = argv[2];
    if (command == L"minimize-main") return MinimizeMain();
    if (argc < 4) return "usage: dlgdriver OUT.json COMMAND CAPTION ...";
    const std::string caption = Utf8FromWide(argv[3]);
    if (command == L"snapshot") {
        Snapshot(json, caption);
        return {};
    }
    if (command == L"answer") return argc < 5 ? "answer needs yes, no or ok" : Answer(caption, argv[4]);
    const HWND dialog = FindUpdateDialog(caption);
    if (dialog == nullptr) return "no dialog";
    if (command == L"press" && argc >= 5) return Press(dialog, _wtoi(argv[4]));
    if (command == L"select" && argc >= 5) return Select(dialog, _wtoi(argv[4]));
    if (command == L"set-text" && argc >= 6) return SetText(dialog, _wtoi(argv[4]), argv[5]);
    return "unknown command or missing argument";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: dlgdriver OUT.json COMMAND ...\n", stderr);
        return 1;
    }
    Json json;
    json.BeginObject();
    const std::string error = Run(json, argc, argv);
    json.Key("ok").Bool(error.empty());
    json.Key("error").String(error);
    json.EndObject();
    if (!WriteReport(argv[1], json.Text())) return 1;
    return error.empty() ? 0 : 2;
}
