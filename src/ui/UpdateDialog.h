// The open dialog: the composition root that owns every subsystem, and
// UpdateDialogProc, the one entry through which dialog events reach them.
#pragma once

#include <cstdint>

#include "DialogSurface.h"
#include "engine/ExchangeEngine.h"
#include "engine/NetworkSession.h"
#include "engine/ReceiveQueue.h"
#include "ports/DialogPort.h"
#include "ports/FirmwareImage.h"
#include "ports/HostPort.h"
#include "ports/MessagePort.h"
#include "ports/TcpPort.h"
#include "ports/TimerPort.h"
#include "ports/UdpPort.h"
#include "protocol/Networking.h"
#include "protocol/Requests.h"
#include "registry/DeviceList.h"
#include "registry/ModelTable.h"
#include "workflow/CompletionTracking.h"
#include "workflow/FirmwareTransfer.h"
#include "workflow/RouterSearch.h"
#include "workflow/UpdateAuthorisation.h"
#include "workflow/UpdateState.h"

struct Ports {
    DialogPort& dialog;
    TimerPort& timers;
    UdpPort& udp;
    TcpPort& tcp;
    HostPort& host;
    MessagePort& messages;
};

// A window message, as the Win32 dialog procedure translates it.
enum class DialogEventKind {
    Init,             // WM_INITDIALOG
    Destroy,          // WM_DESTROY
    Command,          // WM_COMMAND: commandId = low 16 bits of the first parameter
    Timer,            // WM_TIMER: timerId = the first parameter
    DiscoverySocket,  // WM_DISCOVERY_SOCKET
    TransferSocket,   // WM_TRANSFER_SOCKET: socketEvent = the second parameter
};

struct DialogEvent {
    DialogEventKind kind;
    int commandId = 0;
    TimerId timerId = 0;
    std::uint32_t socketEvent = 0;
};

class UpdateDialog {
public:
    UpdateDialog(const Ports& ports, const FirmwareImage& image, const ModelTable& models);
    ~UpdateDialog();
    UpdateDialog(const UpdateDialog&) = delete;
    UpdateDialog& operator=(const UpdateDialog&) = delete;

    // Whether the event was handled (the dialog procedure's TRUE or FALSE).
    bool UpdateDialogProc(const DialogEvent& event);

    // For tests and invariant checks: how far the update has come.
    const UpdateState& CurrentUpdateState() const { return updateState_; }
    const ExchangeEngine& Engine() const { return engine_; }
    const FirmwareTransfer& Transfer() const { return transfer_; }
    const DeviceList& Devices() const { return devices_; }

private:
    void OnInit();
    void OnDestroy();
    void OnCommand(int commandId);
    void OnResearch();
    void OnTimer(TimerId id);

    Ports ports_;
    FirmwareImage image_;
    const ModelTable& models_;
    // In construction order: each is handed the ones above it.
    DialogSurface surface_;
    Networking networking_;
    ReceiveQueue queue_;
    NetworkSession session_;
    DeviceList devices_;
    RequestSender sender_;
    ExchangeEngine engine_;
    RouterSearch search_;
    UpdateState updateState_;
    CompletionTracking completion_;
    FirmwareTransfer transfer_;
    UpdateAuthorisation authorisation_;
};
