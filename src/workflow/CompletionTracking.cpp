#include "CompletionTracking.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "BoundedFormat.h"
#include "DialogSurface.h"
#include "ResourceIds.h"
#include "engine/ReceiveQueue.h"
#include "ports/TcpPort.h"
#include "protocol/Discovery.h"
#include "protocol/Protocol.h"
#include "registry/DeviceList.h"
#include "registry/ModelTable.h"
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
    ScanQueue(queue_, [&](std::span<const std::uint8_t> datagram) {
        DatagramHeader header;
        if (ReadHeader(datagram, header) && header.CodeWord() == CodeWord(RSP_STATUS) &&
            header.sourceAddress == router->mac) {
            found = true;
            status = header.status;
            return ScanStep::Stop;
        }
        return ScanStep::Next;
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

int CompletionTracking::OnRestartReply(ExchangeEvent event) {
    if (event != EV_ARRIVED) {
        surface_.SetInputsEnabled(1);
        if (event == EV_TIMEOUT) surface_.SetStatusText(MSG_RESTART_NOT_SEEN);
        return 1;
    }
    DeviceRecord* router = engine_.device;
    bool back = false;
    ScanQueue(queue_, [&](std::span<const std::uint8_t> datagram) {
        DeviceRecord* record = AbsorbDiscoveryReply(datagram, devices_);
        if (record == nullptr) return ScanStep::Next;
        if (record == router) {
            back = true;
            return ScanStep::RemoveAndStop;
        }
        return ScanStep::Remove;  // another router's reply refreshes its record
    });
    if (!back) return 0;
    surface_.SetInputsEnabled(1);
    ShowOutcome(router->identity, sizeof router->identity);
    return 1;
}

int CompletionTracking::OnModuleRestartReply(ExchangeEvent event) {
    if (event != EV_ARRIVED) {
        surface_.SetInputsEnabled(1);
        if (event == EV_TIMEOUT) surface_.SetStatusText(MSG_RESTART_NOT_SEEN);
        return 1;
    }
    DeviceRecord* router = engine_.device;
    bool back = false;
    ScanQueue(queue_, [&](std::span<const std::uint8_t> datagram) {
        DatagramHeader header;
        if (!ReadHeader(datagram, header) || header.CodeWord() != CodeWord(RSP_MODULE_INFO) ||
            header.sourceAddress != router->mac) {
            return ScanStep::Next;
        }
        // Whatever its status; byte for byte, no terminator added.
        const std::span<const std::uint8_t> text = PayloadOf(datagram);
        if (!text.empty()) std::memcpy(router->moduleInfo, text.data(), std::min(text.size(), sizeof router->moduleInfo));
        back = true;
        return ScanStep::RemoveAndStop;
    });
    if (!back) return 0;
    surface_.SetInputsEnabled(1);
    ShowOutcome(router->moduleInfo, sizeof router->moduleInfo);
    return 1;
}
