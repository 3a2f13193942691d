// The timed exchange engine: one UDP exchange at a time, sent, resent on a
// schedule of 100 ms ticks, its replies queued, and its callback told of
// arrivals, of the time-out and of the operator's cancel.
#pragma once

#include <cstdint>
#include <functional>

#include "ports/TimerPort.h"
#include "registry/ModelTable.h"

class DialogPort;
class DialogSurface;
class NetworkSession;
class ReceiveQueue;
class RequestSender;
class UdpPort;
struct DeviceRecord;

enum ExchangeEvent : int {
    EV_ARRIVED = 0,     // a datagram was queued
    EV_TIMEOUT = -1,    // all sends used and the last wait ran out
    EV_CANCELLED = 1,   // the operator pressed IDC_RESEARCH while busy
};

// For EV_ARRIVED the result says whether the exchange is finished: exactly 1
// ends it, any other value keeps it running. For EV_TIMEOUT and EV_CANCELLED
// the engine has stopped before the call and ignores the result. A callback
// may start the next exchange from inside any of the three calls.
using ExchangeCallback = std::function<int(ExchangeEvent)>;

constexpr unsigned TICK_INTERVAL_MS = 100;
// More than a receive buffer holds: the discarding at a start ends even
// under a flood that never pauses.
constexpr int MAX_DISCARDED_ON_START = 1024;

class ExchangeEngine {
public:
    ExchangeEngine(DialogSurface& surface, DialogPort& bar, TimerPort& timers, NetworkSession& session, UdpPort& udp,
                   RequestSender& sender, const ModelTable& models, ReceiveQueue& queue);
    ExchangeEngine(const ExchangeEngine&) = delete;
    ExchangeEngine& operator=(const ExchangeEngine&) = delete;

    // Starts an exchange, or replaces the running one in place. 1 when it
    // started from idle, 0 when it replaced a running exchange. A `sends`
    // below 1 counts as 1: the request always goes out once. Nothing that
    // came before its request counts for it: the queue is emptied, and so
    // is the endpoint.
    int StartExchange(std::uint32_t firstWaitMs, std::uint32_t intervalMs, int collect, int sends,
                      std::uint8_t code, DeviceRecord* target, ExchangeCallback handler);
    // Ends the running exchange; always enables the operator inputs. It
    // neither disarms the UDP notification nor clears the queue.
    void StopExchange();
    // The operator's cancel: stop, disarm, then the callback with EV_CANCELLED.
    void CancelExchange();
    bool IsExchangeBusy() const { return busy; }

    // One tick of the tick timer.
    void OnEngineTick();
    // One read notification of the UDP endpoint.
    void OnDatagramReady();

    // Sends the current request and runs the engine without touching the
    // queue, the bar's range or progressCounter (the search's module phase,
    // which sets device, modelRow, resendsLeft and ticksToResend first).
    void ArmDeviceQuery();
    // Moves the bar to the current mark and sets the next mark one step on.
    void AdvanceProgressMark();
    // The arming step of StartExchange.
    void ArmExchange();

    // The exchange's state. The search's module phase sets these directly.
    bool busy = false;
    bool collectOnly = false;
    std::uint8_t requestCode = 0;
    DeviceRecord* device = nullptr;  // none: all routers
    int modelRow = NO_MODEL_ROW;     // until an exchange with a device
    ExchangeCallback callback;
    std::int32_t resendsLeft = 0;
    std::uint32_t ticksPerInterval = 0;
    std::uint32_t ticksToResend = 0;
    std::uint16_t progressCounter = 0;
    std::uint16_t progressMark = 0;
    std::uint16_t progressStep = 0;
    TimerId tickTimerId = 0;  // 0: the tick timer is not running

private:
    int Notify(ExchangeEvent event);
    void DiscardWaitingDatagrams();
    void StartTickIfStopped();

    DialogSurface& surface_;
    DialogPort& bar_;
    TimerPort& timers_;
    NetworkSession& session_;
    UdpPort& udp_;
    RequestSender& sender_;
    const ModelTable& models_;
    ReceiveQueue& queue_;
};
