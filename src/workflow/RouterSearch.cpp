#include "RouterSearch.h"

#include <algorithm>
#include <span>

#include "DialogSurface.h"
#include "ResourceIds.h"
#include "engine/ReceiveQueue.h"
#include "ports/DialogPort.h"
#include "protocol/Discovery.h"
#include "protocol/Protocol.h"
#include "registry/DeviceList.h"
#include "registry/ModelTable.h"
#include "workflow/ReplyScan.h"

namespace {

constexpr std::size_t BAR_TOP = 0xFFFF;
// The ticks one module query counts from its segment's start: each of its
// sends waits MODULE_QUERY_TICKS ticks and the tick that ends the wait.
constexpr std::size_t MODULE_QUERY_SPAN = SEARCH_SENDS * (MODULE_QUERY_TICKS + 1);

// The selector REQ_MODULE_INFO carries for an image of this class, or -1
// when the router is not to be asked.
int ModuleSelector(std::uint32_t kind) {
    switch (FirmwareClassOf(kind)) {
        case FIRMWARE_ISDN_MODULE: return 0;
        case FIRMWARE_MODEM_MODULE: return 1;
        default: return -1;
    }
}

}  // namespace

std::uint16_t ModuleSegmentWidth(std::size_t routers) {
    // The marks run one segment past the last router, and the last router's
    // query may count MODULE_QUERY_SPAN ticks from its segment's start;
    // neither may pass the top of the bar, or the 16-bit position wraps to an
    // almost empty bar.
    std::size_t width = std::min<std::size_t>(MODULE_SEGMENT, BAR_TOP / (routers + 1));
    if (routers > 1) width = std::min(width, (BAR_TOP - MODULE_QUERY_SPAN) / (routers - 1));
    return static_cast<std::uint16_t>(width);
}

RouterSearch::RouterSearch(ExchangeEngine& engine, ReceiveQueue& queue, DeviceList& devices, const ModelTable& models,
                           DialogSurface& surface, DialogPort& bar)
    : engine_(engine), queue_(queue), devices_(devices), models_(models), surface_(surface), bar_(bar) {}

int RouterSearch::StartSearch() {
    surface_.SetStatusText(MSG_SEARCHING);
    return engine_.StartExchange(SEARCH_WAIT_MS, SEARCH_WAIT_MS, 1, SEARCH_SENDS, REQ_DISCOVER, nullptr,
                                 [this](ExchangeEvent event) { return OnSearchDone(event); });
}

int RouterSearch::OnSearchDone(ExchangeEvent /*a cancelled discovery goes on like a finished one*/) {
    ScanQueue(queue_, [this](std::span<const std::uint8_t> datagram) {
        return AbsorbDiscoveryReply(datagram, devices_) != nullptr ? ScanStep::Remove : ScanStep::Next;
    });
    return StartModuleQueries();
}

int RouterSearch::StartModuleQueries() {
    const std::size_t routers = devices_.Count();
    const std::uint16_t segment = ModuleSegmentWidth(routers);
    engine_.requestCode = REQ_MODULE_INFO;
    engine_.callback = [this](ExchangeEvent event) { return OnModuleInfo(event); };
    engine_.collectOnly = false;
    engine_.ticksPerInterval = MODULE_QUERY_TICKS;
    engine_.ticksToResend = MODULE_QUERY_TICKS;
    engine_.resendsLeft = SEARCH_SENDS - 1;
    engine_.progressMark = segment;
    engine_.progressStep = segment;
    bar_.SetProgressRange(static_cast<std::uint16_t>(routers * segment));
    engine_.progressCounter = 0;
    surface_.SetStatusText(MSG_QUERYING_MODULES);
    return QueryNextDevice(devices_.FirstDevice());
}

int RouterSearch::QueryNextDevice(DeviceRecord* start) {
    for (DeviceRecord* record = start; record != nullptr; record = record->Next()) {
        engine_.resendsLeft = SEARCH_SENDS - 1;
        engine_.ticksToResend = MODULE_QUERY_TICKS;
        engine_.device = record;
        engine_.modelRow = models_.MatchModel(record->Identity(), record->subCode);
        if (engine_.modelRow != NO_MODEL_ROW && (record->flags & DEV_MODULE_SLOT) != 0) {
            const int selector = ModuleSelector(models_.Row(engine_.modelRow).kind);
            if (selector >= 0) {
                record->requestArg = static_cast<std::uint32_t>(selector);
                engine_.ArmDeviceQuery();
                return 0;
            }
        }
        // A router that needs no query still moves the bar by its segment.
        engine_.AdvanceProgressMark();
    }
    Publish();
    return 1;
}

int RouterSearch::ContinueModuleQueries() {
    surface_.SetInputsEnabled(1);
    engine_.AdvanceProgressMark();
    return QueryNextDevice(engine_.device);
}

int RouterSearch::OnModuleInfo(ExchangeEvent event) {
    if (event == EV_CANCELLED) {
        surface_.SetInputsEnabled(1);
        bar_.SetProgressRange(1);
        bar_.SetProgressPosition(1);  // a full bar
        Publish();
        return 1;
    }
    DeviceRecord* router = engine_.device;
    switch (ReadModuleReply(*router)) {
        case ModuleReply::Ok:
            engine_.device = router->Next();
            return ContinueModuleQueries();
        case ModuleReply::Failed:
            // Move on before the record is freed.
            engine_.device = router->Next();
            devices_.RemoveDevice(router);
            return ContinueModuleQueries();
        case ModuleReply::None:
            break;
    }
    if (event == EV_ARRIVED) return 0;
    // Timed out: the router keeps its record, without a module text.
    engine_.AdvanceProgressMark();
    return QueryNextDevice(router->Next());
}

RouterSearch::ModuleReply RouterSearch::ReadModuleReply(DeviceRecord& router) {
    // The first RSP_MODULE_INFO from this router with STATUS_OK or
    // STATUS_FAILED decides; it stays in the queue either way.
    ModuleReply reply = ModuleReply::None;
    ScanReplies(queue_, RSP_MODULE_INFO, router.mac, [&](const DatagramHeader& header, std::span<const std::uint8_t> datagram) {
        if (header.status == STATUS_OK) {
            StoreModuleText(router, datagram);
            reply = ModuleReply::Ok;
            return ScanStep::Stop;
        }
        if (header.status == STATUS_FAILED) {
            reply = ModuleReply::Failed;
            return ScanStep::Stop;
        }
        return ScanStep::Next;  // any other status is passed over
    });
    return reply;
}

void RouterSearch::Publish() {
    // Publication frees the records it drops; the engine must not point at one.
    engine_.device = nullptr;
    devices_.PublishDeviceList();
}
