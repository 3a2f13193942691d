#include "FirmwareTransfer.h"

#include <algorithm>

#include "DialogSurface.h"
#include "ResourceIds.h"
#include "ports/DialogPort.h"
#include "ports/TcpPort.h"
#include "protocol/Protocol.h"
#include "registry/DeviceRecord.h"
#include "workflow/CompletionTracking.h"
#include "workflow/UpdateState.h"

namespace {
constexpr std::uint32_t EventKind(std::uint32_t event) { return event & 0xFFFF; }
constexpr std::uint32_t EventError(std::uint32_t event) { return event >> 16; }
constexpr std::uint32_t WithError(std::uint32_t kind) { return kind | TIMEOUT_ERROR << 16; }
}  // namespace

FirmwareTransfer::FirmwareTransfer(DialogSurface& surface, DialogPort& bar, TimerPort& timers, TcpPort& tcp,
                                   const FirmwareImage& image, UpdateState& state, CompletionTracking& completion)
    : surface_(surface), bar_(bar), timers_(timers), tcp_(tcp), image_(image), state_(state), completion_(completion) {}

void FirmwareTransfer::StartTransferTimer(unsigned ms) {
    transferTimerId = timers_.StartTimer(TRANSFER_TIMER_NUMBER, ms);
}

void FirmwareTransfer::StopTransferTimer() {
    if (transferTimerId != 0) timers_.StopTimer(transferTimerId);
    transferTimerId = 0;
}

int FirmwareTransfer::BeginTransfer(DeviceRecord& record) {
    surface_.SetInputsEnabled(0);
    bytesLeft = image_.size;
    blocksSent = 0;
    sendCursor = 0;
    blockTaken_ = 0;
    state_.updateDevice = &record;
    state_.phase = XFER_CONNECTING;
    // The bar counts blocks; its range is a 16-bit number.
    bar_.SetProgressRange(static_cast<std::uint16_t>(std::min<std::uint32_t>(image_.size / TRANSFER_BLOCK_SIZE, 0xFFFF)));
    surface_.SetStatusText(MSG_CONNECTING);
    StartTransferTimer(CONNECT_DEADLINE_MS);
    return ConnectTransfer(record);
}

int FirmwareTransfer::ConnectTransfer(DeviceRecord& record) {
    // One connection at a time: never lose the handle of an earlier one.
    if (tcp_.IsOpen()) tcp_.Close();
    if (!tcp_.Create()) return 0;  // the 30 s timer ends the attempt
    tcp_.SelectEvents(TCP_CONNECT | TCP_CLOSE);
    return tcp_.Connect(record.ipAddress, ROUTER_PORT);
}

bool FirmwareTransfer::OnTransferSocketEvent(std::uint32_t event) {
    if (state_.phase != XFER_CONNECTING && state_.phase != XFER_SENDING && state_.phase != XFER_SENT) return false;
    StopTransferTimer();
    if (EventError(event) != 0) {
        FailTransfer(event);
        return true;
    }
    switch (EventKind(event)) {
        case TCP_CONNECT:
            surface_.SetStatusText(MSG_UPDATING);
            state_.phase = XFER_SENDING;
            break;
        case TCP_WRITE:
            if (state_.phase != XFER_SENDING) return true;
            break;
        case TCP_CLOSE:
            // Closed by the router before the end of the image. While still
            // connecting the operator's cancel is the way on.
            if (state_.phase == XFER_SENDING) FailTransfer(event);
            return true;
        default:
            return true;
    }
    if (SendNextBlock() == 1) {
        state_.phase = XFER_SENT;
        tcp_.ShutdownSending();
        tcp_.Close();
        completion_.StartConfirm();
    }
    return true;
}

int FirmwareTransfer::SendNextBlock() {
    if (bytesLeft == 0) return 1;
    const std::uint32_t block = std::min(bytesLeft, TRANSFER_BLOCK_SIZE);
    // Asking again brings the next write-ready event.
    tcp_.SelectEvents(TCP_WRITE | TCP_CLOSE);
    const int taken = tcp_.Send(image_.data + sendCursor + blockTaken_, static_cast<int>(block - blockTaken_));
    if (taken > 0) {
        blockTaken_ += static_cast<std::uint32_t>(taken);
        if (blockTaken_ == block) {
            blockTaken_ = 0;
            blocksSent += 1;
            bar_.SetProgressPosition(static_cast<int>(std::min<std::uint32_t>(blocksSent, 0xFFFF)));
            sendCursor += block;
            bytesLeft -= block;
        }
    }
    // A refused send advances nothing: the same bytes go on the next event.
    StartTransferTimer(BLOCK_DEADLINE_MS);
    return 0;
}

int FirmwareTransfer::FailTransfer(std::uint32_t event) {
    if (state_.phase == XFER_IDLE || state_.phase == XFER_ERROR_ABORT) return 0;
    state_.phase = XFER_ERROR_ABORT;
    tcp_.Close();
    if (EventKind(event) == TCP_WRITE) {
        // The router may still have taken the image: ask it.
        surface_.SetStatusText(MSG_DOWNLOAD_ERROR);
        completion_.StartStatusQuery();
    } else {
        surface_.SetStatusTextSub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER);
        surface_.SetInputsEnabled(1);
        state_.phase = XFER_IDLE;
    }
    return 1;
}

int FirmwareTransfer::OnTransferTimeout() {
    StopTransferTimer();
    switch (state_.phase) {
        case XFER_IDLE: break;
        case XFER_CONNECTING: FailTransfer(WithError(TCP_CONNECT)); break;
        case XFER_SENDING: FailTransfer(WithError(TCP_WRITE)); break;
        default: FailTransfer(WithError(TCP_CLOSE)); break;
    }
    return 1;
}

void FirmwareTransfer::AbortTransfer() {
    if (state_.phase == XFER_USER_ABORT) return;
    state_.phase = XFER_USER_ABORT;
    StopTransferTimer();
    // Left open but silent until the status query has ended.
    tcp_.SelectEvents(0);
    surface_.SetStatusText(MSG_ABORTING);
    completion_.StartStatusQuery();
}
