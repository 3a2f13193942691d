#include "DialogProc.h"

#include <memory>

#include "ResourceIds.h"
#include "UpdateDialog.h"
#include "Win32DialogPort.h"
#include "Win32HostPort.h"
#include "Win32MessagePort.h"
#include "Win32TcpPort.h"
#include "Win32TimerPort.h"
#include "Win32UdpPort.h"

namespace {

// The ports of one open dialog and the core object they serve; lives from
// WM_INITDIALOG to WM_DESTROY in the dialog's DWLP_USER.
class DialogSession {
public:
    DialogSession(HWND dialog, const DialogStart& start)
        : controls_(dialog),
          timers_(dialog),
          udp_(dialog),
          tcp_(dialog),
          messages_(start.instance),
          core_(Ports{controls_, timers_, udp_, tcp_, host_, messages_}, start.image, start.models) {}

    bool Handle(const DialogEvent& event) { return core_.UpdateDialogProc(event); }

private:
    Win32DialogPort controls_;
    Win32TimerPort timers_;
    Win32UdpPort udp_;
    Win32TcpPort tcp_;
    Win32HostPort host_;
    Win32MessagePort messages_;
    UpdateDialog core_;
};

DialogSession* SessionOf(HWND dialog) { return reinterpret_cast<DialogSession*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

}  // namespace

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto session = std::make_unique<DialogSession>(dialog, *reinterpret_cast<const DialogStart*>(lParam));
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(session.get()));
        return session.release()->Handle({DialogEventKind::Init});
    }
    // Messages before WM_INITDIALOG (WM_SETFONT and the like) find no session.
    DialogSession* session = SessionOf(dialog);
    if (session == nullptr) return FALSE;

    switch (message) {
        case WM_DESTROY: {
            const std::unique_ptr<DialogSession> ending(session);
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            return ending->Handle({DialogEventKind::Destroy});
        }
        case WM_COMMAND:
            return session->Handle({.kind = DialogEventKind::Command, .commandId = LOWORD(wParam)});
        case WM_TIMER:
            return session->Handle({.kind = DialogEventKind::Timer, .timerId = wParam});
        case WM_DISCOVERY_SOCKET:
            return session->Handle({DialogEventKind::DiscoverySocket});
        case WM_TRANSFER_SOCKET:
            return session->Handle(
                {.kind = DialogEventKind::TransferSocket, .socketEvent = static_cast<std::uint32_t>(lParam)});
        default:
            return FALSE;
    }
}
