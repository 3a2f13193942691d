// From the operator's OK to the first byte of the image: the selected
// router, its password, the confirmation, a fresh key from the router, and
// the router's permission.
#pragma once

#include <cstdint>

#include "engine/ExchangeEngine.h"
#include "registry/ModelTable.h"

class DeviceList;
class DialogPort;
class DialogSurface;
class FirmwareTransfer;
class Networking;
class ReceiveQueue;
struct DeviceRecord;

constexpr std::uint32_t AUTHORISATION_WAIT_MS = 3000;
constexpr int AUTHORISATION_SENDS = 3;

class UpdateAuthorisation {
public:
    UpdateAuthorisation(ExchangeEngine& engine, ReceiveQueue& queue, DeviceList& devices, const ModelTable& models,
                        DialogSurface& surface, DialogPort& controls, Networking& networking,
                        FirmwareTransfer& transfer);

    // The OK command.
    void RequestUpdate();
    // Message 18 and REQ_DISCOVER addressed to this router alone.
    int StartPrepare(DeviceRecord& record);
    int OnPrepareReply(ExchangeEvent event);
    int OnUpdateReply(ExchangeEvent event);

    // What REQ_UPDATE_EXT carries; unchanged from its first send to its end.
    ExtUpdateValues extUpdateValues;

private:
    ExchangeEngine& engine_;
    ReceiveQueue& queue_;
    DeviceList& devices_;
    const ModelTable& models_;
    DialogSurface& surface_;
    DialogPort& controls_;
    Networking& networking_;
    FirmwareTransfer& transfer_;
};
