// The router search: a collect-only discovery broadcast, then, for routers
// whose image is module firmware, one module query after the other, and
// finally the published router list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/ExchangeEngine.h"

class DeviceList;
class DialogPort;
class DialogSurface;
class ModelTable;
class ReceiveQueue;
struct DeviceRecord;

// Three sends of REQ_DISCOVER and, per router, of REQ_MODULE_INFO, 3000 ms apart.
constexpr int SEARCH_SENDS = 3;
constexpr std::uint32_t SEARCH_WAIT_MS = 3000;
constexpr std::uint32_t MODULE_QUERY_TICKS = SEARCH_WAIT_MS / TICK_INTERVAL_MS;
constexpr std::uint16_t MODULE_SEGMENT = SEARCH_SENDS * MODULE_QUERY_TICKS;  // 90

// Width of each router's segment of the bar in the module phase: 90, or
// narrower when `routers` segments would not fit the bar's 16 bits.
std::uint16_t ModuleSegmentWidth(std::size_t routers);

class RouterSearch {
public:
    RouterSearch(ExchangeEngine& engine, ReceiveQueue& queue, DeviceList& devices, const ModelTable& models,
                 DialogSurface& surface, DialogPort& bar);

    // Shows message 4 and starts the discovery; StartExchange's result.
    int StartSearch();
    // The discovery's callback: absorbs the collected replies, whatever the
    // event, and goes on to the module phase.
    int OnSearchDone(ExchangeEvent event);
    int StartModuleQueries();
    // 0 when it armed a query for a router from `start` on; 1 when no router
    // was left to ask and the list was published.
    int QueryNextDevice(DeviceRecord* start);
    // After a router's query ended by a reply (engine.device already moved on).
    int ContinueModuleQueries();
    // The module phase's callback: 1 ends the exchange, 0 keeps it running.
    int OnModuleInfo(ExchangeEvent event);

private:
    enum class ModuleReply { None, Ok, Failed };
    // Looks for the router's deciding reply; copies its module text on STATUS_OK.
    ModuleReply ReadModuleReply(DeviceRecord& router);
    void Publish();

    ExchangeEngine& engine_;
    ReceiveQueue& queue_;
    DeviceList& devices_;
    const ModelTable& models_;
    DialogSurface& surface_;
    DialogPort& bar_;
};
