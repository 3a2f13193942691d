// texthook.dll: loaded by Windows (and Wine) into the dialog's process when the
// text recorder hooks the dialog's thread. After every WM_SETTEXT a control of
// the update dialog has handled, it hands the control's new text to the recorder, so that
// texts which stand for a moment only are seen as well.
#include <windows.h>

#include "ResourceIds.h"
#include "TextRecorder.h"

namespace {
constexpr UINT SEND_TIMEOUT_MS = 2000;
constexpr int TEXT_BUFFER_CHARS = 1024;
constexpr wchar_t DIALOG_CLASS[] = L"#32770";

// A control of the update dialog: not a message box, nor the box's own controls.
bool IsUpdateDialogControl(HWND window) {
    if ((GetWindowLongW(window, GWL_STYLE) & WS_CHILD) == 0) return false;
    const HWND parent = GetParent(window);
    wchar_t name[16] = {};
    return parent != nullptr && GetClassNameW(parent, name, 16) > 0 && lstrcmpW(name, DIALOG_CLASS) == 0 &&
           GetDlgItem(parent, IDC_DEVICE_LIST) != nullptr;
}

void Report(HWND control) {
    const HWND recorder = FindWindowExW(HWND_MESSAGE, nullptr, TEXT_RECORDER_CLASS, nullptr);
    if (recorder == nullptr) return;
    wchar_t text[TEXT_BUFFER_CHARS];
    const int length = GetWindowTextW(control, text, TEXT_BUFFER_CHARS);
    COPYDATASTRUCT data{};
    data.dwData = TEXT_RECORDER_SET_TEXT;
    data.cbData = static_cast<DWORD>(length) * sizeof(wchar_t);
    data.lpData = text;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(recorder, WM_COPYDATA, reinterpret_cast<WPARAM>(control), reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &ignored);
}
}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (message->message == WM_SETTEXT && IsUpdateDialogControl(message->hwnd)) Report(message->hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
