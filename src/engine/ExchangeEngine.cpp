#include "ExchangeEngine.h"

#include <utility>

#include "DialogSurface.h"
#include "engine/NetworkSession.h"
#include "engine/ReceiveQueue.h"
#include "ports/DialogPort.h"
#include "ports/UdpPort.h"
#include "protocol/Protocol.h"
#include "protocol/Requests.h"
#include "registry/DeviceRecord.h"
#include "registry/ModelTable.h"

ExchangeEngine::ExchangeEngine(DialogSurface& surface, DialogPort& bar, TimerPort& timers, NetworkSession& session,
                               UdpPort& udp, RequestSender& sender, const ModelTable& models, ReceiveQueue& queue)
    : surface_(surface),
      bar_(bar),
      timers_(timers),
      session_(session),
      udp_(udp),
      sender_(sender),
      models_(models),
      queue_(queue) {}

int ExchangeEngine::StartExchange(std::uint32_t firstWaitMs, std::uint32_t intervalMs, int collect, int sends,
                                  std::uint8_t code, DeviceRecord* target, ExchangeCallback handler) {
    const int sendCount = sends < 1 ? 1 : sends;
    queue_.ClearDatagrams();
    DiscardWaitingDatagrams();
    requestCode = code;
    callback = std::move(handler);
    device = target;
    collectOnly = (collect & 1) != 0;
    resendsLeft = sendCount - 1;
    ticksPerInterval = intervalMs / TICK_INTERVAL_MS;
    ticksToResend = firstWaitMs / TICK_INTERVAL_MS;
    progressCounter = progressMark =
        static_cast<std::uint16_t>(static_cast<std::uint32_t>(resendsLeft) * ticksPerInterval + ticksToResend);
    if (device != nullptr) modelRow = models_.MatchModel(device->Identity(), device->subCode);

    if (busy || tickTimerId != 0) {
        // Replaced in place: the running tick keeps its rhythm.
        ArmExchange();
        return 0;
    }
    ArmExchange();
    busy = true;
    surface_.SetInputsEnabled(0);
    return 1;
}

void ExchangeEngine::ArmExchange() {
    udp_.ArmReadNotification();
    sender_.SendRequest(requestCode, device);
    StartTickIfStopped();
    bar_.SetProgressRange(progressCounter);
    progressCounter = 0;  // the first tick shows the position
}

void ExchangeEngine::StopExchange() {
    surface_.SetInputsEnabled(1);
    if (!busy) return;
    resendsLeft = 0;
    busy = false;
    bar_.SetProgressPosition(progressMark);
    if (tickTimerId != 0) timers_.StopTimer(tickTimerId);
    tickTimerId = 0;
}

void ExchangeEngine::CancelExchange() {
    StopExchange();
    udp_.DisarmNotification();
    if (callback) Notify(EV_CANCELLED);
}

void ExchangeEngine::OnEngineTick() {
    ++progressCounter;
    bar_.SetProgressPosition(progressCounter);
    if (ticksToResend > 0) {
        --ticksToResend;
        return;
    }
    ticksToResend = ticksPerInterval;
    if (resendsLeft > 0) {
        sender_.SendRequest(requestCode, device);
        --resendsLeft;
        return;
    }
    StopExchange();
    udp_.DisarmNotification();
    if (callback) Notify(EV_TIMEOUT);
}

void ExchangeEngine::OnDatagramReady() {
    if (session_.QueueDatagram() != 1) return;
    // Collected, or arriving while idle: it waits in the queue for a callback's
    // scan or for the next StartExchange to discard it.
    if (collectOnly || !busy || !callback) return;
    if (Notify(EV_ARRIVED) == 1) {
        StopExchange();
        udp_.DisarmNotification();
    }
}

void ExchangeEngine::ArmDeviceQuery() {
    udp_.ArmReadNotification();
    sender_.SendRequest(requestCode, device);
    StartTickIfStopped();
    busy = true;
    surface_.SetInputsEnabled(0);
}

void ExchangeEngine::AdvanceProgressMark() {
    progressCounter = progressMark;
    progressMark = static_cast<std::uint16_t>(progressMark + progressStep);
    bar_.SetProgressPosition(progressCounter);
}

int ExchangeEngine::Notify(ExchangeEvent event) {
    // A chaining callback replaces `callback` while it runs; calling a copy
    // keeps the running callable alive until it returns.
    const ExchangeCallback running = callback;
    return running(event);
}

// What came while nobody listened (after a time-out, a cancel, an ended
// update) waits unread in the endpoint; arming would hand it to this exchange.
void ExchangeEngine::DiscardWaitingDatagrams() {
    std::uint8_t buffer[MAX_DATAGRAM_SIZE];
    for (int i = 0; i < MAX_DISCARDED_ON_START && udp_.HasWaitingDatagram(); ++i) udp_.Receive(buffer, sizeof buffer);
}

void ExchangeEngine::StartTickIfStopped() {
    if (tickTimerId == 0) tickTimerId = timers_.StartTimer(TICK_TIMER_NUMBER, TICK_INTERVAL_MS);
}
