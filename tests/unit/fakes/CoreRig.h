// The core wired to the fakes the way the composition root wires it, for
// tests (and the benchmark) that need the engine's and the search's insides.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "DialogSurface.h"
#include "FakeDialog.h"
#include "FakeHost.h"
#include "FakeMessages.h"
#include "FakeTimers.h"
#include "FakeUdp.h"
#include "engine/ExchangeEngine.h"
#include "engine/NetworkSession.h"
#include "engine/ReceiveQueue.h"
#include "ports/FirmwareImage.h"
#include "protocol/Networking.h"
#include "protocol/Requests.h"
#include "registry/DeviceList.h"
#include "registry/ModelTable.h"
#include "workflow/RouterSearch.h"

struct CoreRig {
    explicit CoreRig(std::span<const ModelRow> rows = ModelTable::BuiltInRows()) : models(rows) {
        networking.InitNetworking();
    }
    CoreRig(const CoreRig&) = delete;
    CoreRig& operator=(const CoreRig&) = delete;

    const StationIdentity& Station() const { return networking.Station(); }

    // One datagram reaching the endpoint, and its read notification.
    void Arrive(std::vector<std::uint8_t> datagram) {
        udp.Arrive(std::move(datagram));
        engine.OnDatagramReady();
    }
    // The tick timer firing, as the dialog dispatches it: only while it runs.
    bool Tick() {
        if (engine.tickTimerId == 0) return false;
        engine.OnEngineTick();
        return true;
    }
    // Ticks until the engine is idle; the number of ticks, or -1 past `limit`.
    int TickUntilIdle(int limit = 100000) {
        for (int ticks = 0; ticks < limit; ++ticks) {
            if (!engine.IsExchangeBusy()) return ticks;
            Tick();
        }
        return -1;
    }

    FakeDialog dialog;
    FakeMessages messages;
    FakeTimers timers;
    FakeUdp udp;
    FakeHost host;
    FirmwareImage image;
    ModelTable models;
    DialogSurface surface{dialog, messages};
    Networking networking{udp, host};
    ReceiveQueue queue;
    NetworkSession session{networking, queue};
    DeviceList devices{models, surface};
    RequestSender sender{udp, networking.Station(), image};
    ExchangeEngine engine{surface, dialog, timers, session, udp, sender, models, queue};
    RouterSearch search{engine, queue, devices, models, surface, dialog};
};
