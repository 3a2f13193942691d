#include "UpdateDialog.h"

#include "DeviceDetails.h"
#include "ResourceIds.h"

namespace {
constexpr int PASSWORD_CHARACTERS = 8;
}

UpdateDialog::UpdateDialog(const Ports& ports, const FirmwareImage& image, const ModelTable& models)
    : ports_(ports),
      image_(image),
      models_(models),
      surface_(ports.dialog, ports.messages),
      networking_(ports.udp, ports.host),
      session_(networking_, queue_),
      devices_(models_, surface_),
      sender_(ports.udp, networking_.Station(), image_),
      engine_(surface_, ports.dialog, ports.timers, session_, ports.udp, sender_, models_, queue_),
      search_(engine_, queue_, devices_, models_, surface_, ports.dialog),
      completion_(engine_, queue_, devices_, models_, surface_, updateState_, ports.tcp),
      transfer_(surface_, ports.dialog, ports.timers, ports.tcp, image_, updateState_, completion_),
      authorisation_(engine_, queue_, devices_, models_, surface_, ports.dialog, networking_, transfer_) {}

UpdateDialog::~UpdateDialog() = default;

bool UpdateDialog::UpdateDialogProc(const DialogEvent& event) {
    switch (event.kind) {
        case DialogEventKind::Init:
            OnInit();
            return false;  // the focus stays where OnInit put it
        case DialogEventKind::Destroy:
            OnDestroy();
            return false;
        case DialogEventKind::Command:
            OnCommand(event.commandId);
            return true;
        case DialogEventKind::Timer:
            OnTimer(event.timerId);
            return true;
        case DialogEventKind::DiscoverySocket:
            engine_.OnDatagramReady();
            return true;
        case DialogEventKind::TransferSocket:
            // Only a transfer in progress hears its connection; a late
            // notification after a failure or an abort changes nothing.
            return transfer_.OnTransferSocketEvent(event.socketEvent);
    }
    return false;
}

void UpdateDialog::OnInit() {
    surface_.CenterOnParent();
    updateState_ = UpdateState{};
    networking_.InitNetworking();  // a failed start shows nothing; the search then finds nobody
    search_.StartSearch();
    ports_.dialog.LimitText(IDC_PASSWORD, PASSWORD_CHARACTERS);
    ports_.dialog.FocusControl(IDC_RESEARCH);
}

void UpdateDialog::OnDestroy() {
    // A current exchange is abandoned; the timers end with the window.
    session_.ShutdownNetworking();
    devices_.ClearDevices();
}

void UpdateDialog::OnCommand(int commandId) {
    switch (commandId) {
        case IDCANCEL:
            // The close box, the system menu and Escape arrive here too. While
            // an exchange or the transfer runs they are refused, so closing the
            // window never abandons a router mid-update; キャンセル comes first.
            if (surface_.InputsEnabled()) ports_.dialog.EndDialog(0);
            return;
        case IDC_DEVICE_LIST:
            ShowDeviceDetails(surface_, devices_);
            return;
        case IDC_RESEARCH:
            OnResearch();
            return;
        case IDOK:
            // The default button's Enter key can reach here while the button
            // is disabled; an update must never replace a running exchange.
            if (surface_.InputsEnabled()) authorisation_.RequestUpdate();
            return;
        default:
            return;  // edit notifications and every other command
    }
}

void UpdateDialog::OnResearch() {
    if (engine_.IsExchangeBusy()) {
        engine_.CancelExchange();
        return;
    }
    if (updateState_.phase == XFER_IDLE) {
        updateState_.updateDevice = nullptr;  // its record is freed now
        devices_.ClearDevices();
        search_.StartSearch();
        return;
    }
    // An update is under way without a current exchange: the image transfer.
    transfer_.AbortTransfer();
}

void UpdateDialog::OnTimer(TimerId id) {
    // A handler runs only for its own timer's stored id, and never while that
    // id is 0 (the timer is not running); the tick comes first.
    if (engine_.tickTimerId != 0 && id == engine_.tickTimerId) engine_.OnEngineTick();
    if (transfer_.transferTimerId != 0 && id == transfer_.transferTimerId) transfer_.OnTransferTimeout();
}
