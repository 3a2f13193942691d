#include "MainWindow.h"

#include <commctrl.h>

#include "app/Shell.h"

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
            break;
        }
        case WM_CREATE:
            // The progress bar's class must exist before the dialog is built.
            InitCommonControls();
            // Delivered once creation, showing and painting are done: the deferred start.
            PostMessageA(window, WM_DESTROY, 0, 0);
            return 0;
        case WM_DESTROY:
            reinterpret_cast<Shell*>(GetWindowLongPtrA(window, GWLP_USERDATA))->DeferredStart();
            return 0;
        case WM_SIZE:
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
