#include "UpdateAuthorisation.h"

#include <cstring>
#include <span>

#include "DialogSurface.h"
#include "ResourceIds.h"
#include "ports/DialogPort.h"
#include "protocol/Networking.h"
#include "protocol/Protocol.h"
#include "registry/DeviceList.h"
#include "workflow/FirmwareTransfer.h"
#include "workflow/ReplyScan.h"

namespace {
unsigned ConfirmationMessage(std::uint32_t kind) {
    switch (FirmwareClassOf(kind)) {
        case FIRMWARE_ISDN_MODULE: return MSG_CONFIRM_ISDN_MODULE;
        case FIRMWARE_MODEM_MODULE: return MSG_CONFIRM_MODEM_MODULE;
        default: return MSG_CONFIRM_MAIN_UNIT;
    }
}
}  // namespace

UpdateAuthorisation::UpdateAuthorisation(ExchangeEngine& engine, ReceiveQueue& queue, DeviceList& devices,
                                         const ModelTable& models, DialogSurface& surface, DialogPort& controls,
                                         Networking& networking, FirmwareTransfer& transfer)
    : engine_(engine),
      queue_(queue),
      devices_(devices),
      models_(models),
      surface_(surface),
      controls_(controls),
      networking_(networking),
      transfer_(transfer) {}

void UpdateAuthorisation::RequestUpdate() {
    DeviceRecord* record = devices_.FindDeviceByLine(controls_.SelectedDeviceLine());
    if (record == nullptr) return;
    if ((record->flags & DEV_UPDATING) != 0) {
        surface_.SetStatusText(MSG_ALREADY_UPDATING);
        return;
    }

    // The whole field is rewritten, zeros after the text: all 8 bytes are
    // scrambled, and bytes left over from an earlier, longer entry would make
    // a router that scrambles its own password refuse the right one.
    char typed[PASSWORD_SIZE] = {};
    controls_.ReadControlText(IDC_PASSWORD, typed, sizeof typed);
    std::memcpy(record->password, typed, sizeof record->password);

    const int row = models_.MatchModel(record->Identity(), record->subCode);
    if (row == NO_MODEL_ROW) {
        // Its identity changed since it was listed: the image no longer fits.
        surface_.SetStatusText(MSG_IMAGE_NOT_FOR_ROUTER);
        return;
    }
    const ModelRow& model = models_.Row(row);
    char format[STATUS_TEXT_SIZE];
    char question[STATUS_TEXT_SIZE];
    char caption[CAPTION_SIZE];
    surface_.LoadMessage(ConfirmationMessage(model.kind), format, sizeof format);
    FormatText(question, sizeof question, format, {FormatArg::Str(model.versionText)});
    surface_.LoadMessage(MSG_APP_CAPTION, caption, sizeof caption);
    if (!controls_.AskYesNo(question, caption)) return;

    controls_.ClearDeviceSelection();
    StartPrepare(*record);
}

int UpdateAuthorisation::StartPrepare(DeviceRecord& record) {
    surface_.SetStatusText(MSG_PREPARING);
    return engine_.StartExchange(AUTHORISATION_WAIT_MS, AUTHORISATION_WAIT_MS, 0, AUTHORISATION_SENDS, REQ_DISCOVER,
                                 &record, [this](ExchangeEvent event) { return OnPrepareReply(event); });
}

int UpdateAuthorisation::OnPrepareReply(ExchangeEvent event) {
    if (event != EV_ARRIVED) {
        surface_.SetStatusTextSub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER);
        return 1;
    }
    DeviceRecord* router = engine_.device;
    // Another router's reply is absorbed on the way, and the wait goes on.
    if (!AbsorbUntilReplyOf(queue_, devices_, router)) return 0;

    engine_.StopExchange();
    const int row = models_.MatchModel(router->Identity(), router->subCode);
    if (row == NO_MODEL_ROW) {
        // The fresh reply names a model the image does not fit.
        surface_.SetStatusText(MSG_IMAGE_NOT_FOR_ROUTER);
        return 1;
    }
    std::uint8_t request = REQ_UPDATE;
    if ((router->flags & DEV_EXT_UPDATE) != 0) {
        const ModelRow& model = models_.Row(row);
        extUpdateValues = {model.valueA, model.kind, model.valueC};
        router->extUpdateValues = &extUpdateValues;
        request = REQ_UPDATE_EXT;
    }
    engine_.StartExchange(AUTHORISATION_WAIT_MS, AUTHORISATION_WAIT_MS, 0, AUTHORISATION_SENDS, request, router,
                          [this](ExchangeEvent e) { return OnUpdateReply(e); });
    return 0;  // a 1 would stop the exchange just started
}

int UpdateAuthorisation::OnUpdateReply(ExchangeEvent event) {
    DeviceRecord* router = engine_.device;
    if (event == EV_TIMEOUT) {
        const std::uint32_t local = networking_.GetLocalAddress();
        const std::uint32_t mask = router->netmask;
        const bool sameSubnet = (local & mask) == (router->ipAddress & mask);
        surface_.SetStatusTextSub(MSG_NO_COMMUNICATION, sameSubnet ? MSG_HINT_CHECK_POWER : MSG_HINT_OTHER_SUBNET);
        return 1;
    }
    if (event == EV_CANCELLED) return 1;

    const std::uint8_t expected = (router->flags & DEV_EXT_UPDATE) != 0 ? RSP_UPDATE_EXT : RSP_UPDATE;
    bool found = false;
    std::uint32_t status = 0;
    ScanReplies(queue_, expected, router->mac, [&](const DatagramHeader& header, std::span<const std::uint8_t>) {
        found = true;
        status = header.status;
        // Only the granting reply is consumed; a refusal stays until the next exchange.
        return status == STATUS_OK ? ScanStep::RemoveAndStop : ScanStep::Stop;
    });
    if (!found) return 0;

    switch (status) {
        case STATUS_OK:
            surface_.SetStatusText(MSG_UPDATING);
            engine_.StopExchange();
            transfer_.BeginTransfer(*router);
            return 0;  // the transfer has disabled the inputs; a 1 would enable them
        case STATUS_BAD_PASSWORD:
            surface_.SetStatusText(MSG_BAD_PASSWORD);
            return 1;
        case STATUS_FAILED:
            surface_.SetStatusText(MSG_IMAGE_NOT_FOR_ROUTER);
            return 1;
        default:
            surface_.SetStatusTextNum(MSG_INTERNAL_ERROR, static_cast<std::int32_t>(status));
            return 1;
    }
}
