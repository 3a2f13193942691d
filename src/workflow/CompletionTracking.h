// The end of every update: the status query after the image (or after a
// broken-off transfer), the wait for the router to come back, and the check
// of the firmware identity it then reports.
#pragma once

#include <cstdint>

#include "engine/ExchangeEngine.h"

class DeviceList;
class DialogSurface;
class ModelTable;
class ReceiveQueue;
class TcpPort;
struct UpdateState;

constexpr std::uint32_t STATUS_QUERY_WAIT_MS = 3000;
constexpr int STATUS_QUERY_SENDS = 3;
constexpr std::uint32_t RESTART_POLL_MS = 1000;
constexpr int MAIN_UNIT_RESTART_SENDS = 60;  // about 66 s
constexpr int MODULE_RESTART_SENDS = 230;    // about 253 s

class CompletionTracking {
public:
    CompletionTracking(ExchangeEngine& engine, ReceiveQueue& queue, DeviceList& devices, const ModelTable& models,
                       DialogSurface& surface, UpdateState& state, TcpPort& tcp);

    // The whole image was sent: XFER_CONFIRMING and the status query. Returns 1.
    int StartConfirm();
    // Asks the router being updated how things stand (REQ_STATUS, three sends).
    int StartStatusQuery();
    int OnStatusReply(ExchangeEvent event);
    int OnRestartReply(ExchangeEvent event);
    int OnModuleRestartReply(ExchangeEvent event);

private:
    // Every ending of a status query: XFER_IDLE, and the connection an
    // operator's abort left open is released.
    void EndStatusQuery();
    // True, with the inputs back and message 29 after a time-out, when the
    // event ends a restart wait without the router's reply.
    bool RestartWaitEnded(ExchangeEvent event);
    // Message 27 when `text` begins with the row's expected identity, else 28.
    void ShowOutcome(const char* text, std::size_t width);

    ExchangeEngine& engine_;
    ReceiveQueue& queue_;
    DeviceList& devices_;
    const ModelTable& models_;
    DialogSurface& surface_;
    UpdateState& state_;
    TcpPort& tcp_;
};
