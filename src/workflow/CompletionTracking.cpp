#include "CompletionTracking.h"

#include <span>
#include <string_view>

#include "BoundedFormat.h"
#include "DialogSurface.h"
#include "ResourceIds.h"
#include "ports/TcpPort.h"
#include "protocol/Protocol.h"
#include "registry/DeviceList.h"
#include "registry/ModelTable.h"
#include "workflow/ReplyScan.h"
#include "workflow/UpdateState.h"

CompletionTracking::CompletionTracking(ExchangeEngine& engine, ReceiveQueue& queue, DeviceList& devices,
                                       const ModelTable& models, DialogSurface& surface, UpdateState& state,
                                       TcpPort& tcp)
    : engine_(engine), queue_(queue), devices_(devices), models_(models), surface_(surface), state_(state), tcp_(tcp) {}

int CompletionTracking::StartConfirm() {
    state_.phase = XFER_CONFIRMING;
    StartStatusQuery();
    return 1;
}

int CompletionTracking::StartStatusQuery() {
    return engine_.StartExchange(STATUS_QUERY_WAIT_MS, STATUS_QUERY_WAIT_MS, 0, STATUS_QUERY_SENDS, REQ_STATUS,
                                 state_.updateDevice, [this](ExchangeEvent event) { return OnStatusReply(event); });
}

void CompletionTracking::EndStatusQuery() {
    state_.phase = XFER_IDLE;
    // Only an abort leaves the connection open; its router has now answered
    // or given up, so nothing will use it again.
    if (tcp_.IsOpen()) tcp_.Close();
}

int CompletionTracking::OnStatusReply(ExchangeEvent event) {
    if (event == EV_TIMEOUT) {
        surface_.SetInputsEnabled(1);
        surface_.SetStatusTextSub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER);
        EndStatusQuery();
        return 1;
    }
    if (event == EV_CANCELLED) {
        surface_.SetInputsEnabled(1);
        EndStatusQuery();
        return 1;
    }

    DeviceRecord* router = engine_.device;
    bool found = false;
    std::uint32_t status = 0;
    ScanReplies(queue_, RSP_STATUS, router->mac, [&](const DatagramHeader& header, std::span<const std::uint8_t>) {
        found = true;
        status = header.status;
        return ScanStep::Stop;  // it stays queued
    });
    if (!found) return 0;

    if (status == STATUS_OK) {
        surface_.SetStatusText(MSG_ROUTER_WRITING);
        EndStatusQuery();
        // A router whose identity no longer matches any row is waited for as
        // a main unit: the restart wait then reports 27 without a comparison.
        const std::uint32_t firmwareClass =
            engine_.modelRow == NO_MODEL_ROW ? FIRMWARE_MAIN_UNIT : FirmwareClassOf(models_.Row(engine_.modelRow).kind);
        switch (firmwareClass) {
            case FIRMWARE_MAIN_UNIT:
                return engine_.StartExchange(RESTART_POLL_MS, RESTART_POLL_MS, 0, MAIN_UNIT_RESTART_SENDS,
                                             REQ_DISCOVER, router,
                                             [this](ExchangeEvent e) { return OnRestartReply(e); });
            case FIRMWARE_ISDN_MODULE:
            case FIRMWARE_MODEM_MODULE:
                router->requestArg = firmwareClass == FIRMWARE_ISDN_MODULE ? 0 : 1;
                return engine_.StartExchange(RESTART_POLL_MS, RESTART_POLL_MS, 0, MODULE_RESTART_SENDS,
                                             REQ_MODULE_INFO, router,
                                             [this](ExchangeEvent e) { return OnModuleRestartReply(e); });
            default:
                surface_.SetInputsEnabled(1);
                return 1;
        }
    }

    if (status == STATUS_FAILED) {
        switch (state_.phase) {
            case XFER_CONFIRMING: surface_.SetStatusText(MSG_DOWNLOAD_FAILED); break;
            case XFER_USER_ABORT: surface_.SetStatusText(MSG_DOWNLOAD_ABORTED); break;
            case XFER_ERROR_ABORT: surface_.SetStatusText(MSG_DOWNLOAD_ERROR_ABORTED); break;
            default: break;
        }
    } else {
        surface_.SetStatusTextNum(MSG_INTERNAL_ERROR, static_cast<std::int32_t>(status));
    }
    surface_.SetInputsEnabled(1);
    EndStatusQuery();
    return 1;
}

void CompletionTracking::ShowOutcome(const char* text, std::size_t width) {
    if (engine_.modelRow == NO_MODEL_ROW) {
        surface_.SetStatusText(MSG_UPDATE_DONE);
        return;
    }
    // The reported text must begin with the expected one: compared over the
    // expected text's length, and never past the reported field.
    const std::string_view expected = models_.Row(engine_.modelRow).expectedIdentity;
    const std::string_view reported = FieldText(text, width);
    surface_.SetStatusText(reported.starts_with(expected) ? MSG_UPDATE_DONE : MSG_UPDATE_NOT_APPLIED);
}

bool CompletionTracking::RestartWaitEnded(ExchangeEvent event) {
    if (event == EV_ARRIVED) return false;
    surface_.SetInputsEnabled(1);
    if (event == EV_TIMEOUT) surface_.SetStatusText(MSG_RESTART_NOT_SEEN);
    return true;  // cancelled: message 21 stays
}

int CompletionTracking::OnRestartReply(ExchangeEvent event) {
    if (RestartWaitEnded(event)) return 1;
    DeviceRecord* router = engine_.device;
    if (!AbsorbUntilReplyOf(queue_, devices_, router)) return 0;
    surface_.SetInputsEnabled(1);
    ShowOutcome(router->identity, sizeof router->identity);
    return 1;
}

int CompletionTracking::OnModuleRestartReply(ExchangeEvent event) {
    if (RestartWaitEnded(event)) return 1;
    DeviceRecord* router = engine_.device;
    bool back = false;
    ScanReplies(queue_, RSP_MODULE_INFO, router->mac, [&](const DatagramHeader&, std::span<const std::uint8_t> datagram) {
        StoreModuleText(*router, datagram);  // whatever its status
        back = true;
        return ScanStep::RemoveAndStop;
    });
    if (!back) return 0;
    surface_.SetInputsEnabled(1);
    ShowOutcome(router->moduleInfo, sizeof router->moduleInfo);
    return 1;
}
