// textrec: records every text the dialog's controls are given, in order, for
// the end-to-end tests. It hooks the dialog's thread with texthook.dll and
// writes one JSON line per text to OUT (UTF-8, flushed per line):
//
//   textrec OUT.jsonl CAPTION
//
//   {"t":1718000000.123456,"id":1018,"text":"..."}   t: Unix time, seconds
//
// The stamp is the system time because under Wine it is the host's
// CLOCK_REALTIME, which a test can relate to its own clocks; Wine's
// performance counter has a bias of its own per wineserver.
//
// The first line, with "id":0, says that the hook is in place and gives the
// status text of that moment; the recorder ends when the dialog does.
// GetSystemTimePreciseAsFileTime is declared from Windows 8 on; Wine has it.
#define _WIN32_WINNT 0x0602
#include <windows.h>

#include <cstdio>
#include <string>

#include "Json.h"
#include "ResourceIds.h"
#include "TextRecorder.h"
#include "Windows.h"

namespace {
constexpr UINT_PTR CHECK_TIMER_ID = 1;
constexpr UINT CHECK_INTERVAL_MS = 200;
constexpr DWORD FIND_DEADLINE_MS = 30000;

HANDLE output = INVALID_HANDLE_VALUE;
HWND dialog = nullptr;

// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr unsigned long long UNIX_EPOCH_AS_FILETIME = 116444736000000000ULL;

double UnixSeconds() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - UNIX_EPOCH_AS_FILETIME) / 1e7;
}

void WriteLine(int id, const std::string& textUtf8) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "{\"t\":%.6f,", UnixSeconds());
    Json json;
    json.BeginObject();
    json.Key("id").Number(id);
    json.Key("text").String(textUtf8);
    json.EndObject();
    // The writer has no fractional numbers: the stamp goes in front by hand.
    const std::string line = stamp + json.Text().substr(1) + "\n";
    DWORD written = 0;
    WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->dwData != TEXT_RECORDER_SET_TEXT) return FALSE;
        const std::wstring text(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
        WriteLine(GetDlgCtrlID(reinterpret_cast<HWND>(wParam)), Utf8FromWide(text));
        return TRUE;
    }
    if (message == WM_TIMER && !IsWindow(dialog)) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND WaitForDialog(const std::string& caption) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < FIND_DEADLINE_MS) {
        for (HWND window : TopLevelWindows("#32770", caption)) {
            if (GetDlgItem(window, IDC_DEVICE_LIST) != nullptr) return window;
        }
        Sleep(50);
    }
    return nullptr;
}

// Runs until the dialog ends; returns the exit code.
int Record(const wchar_t* outPath, const std::string& caption) {
    output = CreateFileW(outPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return 1;
    dialog = WaitForDialog(caption);
    if (dialog == nullptr) return 2;

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecorderProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = TEXT_RECORDER_CLASS;
    if (!RegisterClassW(&windowClass)) return 3;
    const HWND recorder = CreateWindowW(TEXT_RECORDER_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
    if (recorder == nullptr) return 3;

    const HMODULE hook = LoadLibraryW(L"texthook.dll");
    const auto procedure = hook ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hook, "AfterMessage"))) : nullptr;
    if (procedure == nullptr) return 4;
    const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    if (SetWindowsHookExW(WH_CALLWNDPROCRET, procedure, hook, thread) == nullptr) return 5;
    WriteLine(0, WindowTextUtf8(GetDlgItem(dialog, IDC_INFO_TEXT)));

    SetTimer(recorder, CHECK_TIMER_ID, CHECK_INTERVAL_MS, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 1;
    return Record(argv[1], Utf8FromWide(argv[2]));
}
