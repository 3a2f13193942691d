// How long our own processing takes from the end of a search's discovery
// (the tick that times it out) to the published router list, for many
// simulated routers, through the composition root and the port fakes.
//
//   bench_search [routers] [repetitions]     (defaults: 700 routers, 21 runs)
//
// Two roads: the built-in table (no module query: the list is published
// within the time-out's tick), and a module-firmware table in which every
// router is asked for its module text and answers at once (the time-out's
// tick plus one reply event per router; the waiting between events is the
// routers', not ours, and is not counted).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FakePorts.h"
#include "RouterReplies.h"
#include "UpdateDialog.h"

namespace {

using Clock = std::chrono::steady_clock;

const ModelRow kModuleRows[] = {
    {"VQT-RN8 ", 60, "ISDN 2.00", "2.00", 0x00010008, 0x110, 0},  // ISDN-module image
};

struct Run {
    double timeoutTickUs = 0;   // the tick that ends the discovery
    double moduleRepliesUs = 0; // every module reply event, summed
    double worstEventUs = 0;
    std::size_t listed = 0;
};

double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

Run RunSearch(std::size_t routers, std::span<const ModelRow> rows) {
    FakePorts fakes;
    FirmwareImage image;
    ModelTable models(rows);
    UpdateDialog dialog(fakes.All(), image, models);
    MacAddress station{};
    std::copy(std::begin(fakes.host.adapter), std::end(fakes.host.adapter), station.begin());

    auto timer = [&] {
        DialogEvent event{DialogEventKind::Timer};
        event.timerId = TICK_TIMER_NUMBER;
        dialog.UpdateDialogProc(event);
    };
    auto arrive = [&](std::vector<std::uint8_t> datagram) {
        fakes.udp.Arrive(std::move(datagram));
        dialog.UpdateDialogProc(DialogEvent{DialogEventKind::DiscoverySocket});
    };

    dialog.UpdateDialogProc(DialogEvent{DialogEventKind::Init});
    for (std::size_t i = 0; i < routers; ++i) {
        SimRouter r = NumberedRouter(static_cast<std::uint32_t>(i + 1));
        r.capabilities = 0x0D00;  // updatable, extended update, module slot
        arrive(DiscoveryReply(r, station));
    }
    for (int tick = 1; tick < 93; ++tick) timer();

    Run run;
    const std::size_t sentBefore = fakes.udp.sent.size();
    const Clock::time_point start = Clock::now();
    timer();
    run.timeoutTickUs = Microseconds(Clock::now() - start);
    run.worstEventUs = run.timeoutTickUs;

    // Each module query is answered at once by the router it names.
    for (std::size_t asked = sentBefore; asked < fakes.udp.sent.size(); ++asked) {
        const SentRequest query = ParseRequest(fakes.udp.sent[asked].bytes);
        fakes.udp.Arrive(ModuleInfoReply(query.destination, station, STATUS_OK, "ISDN 1.00"));
        const Clock::time_point t = Clock::now();
        dialog.UpdateDialogProc(DialogEvent{DialogEventKind::DiscoverySocket});
        const double us = Microseconds(Clock::now() - t);
        run.moduleRepliesUs += us;
        run.worstEventUs = std::max(run.worstEventUs, us);
    }
    if (fakes.timers.Running(TICK_TIMER_NUMBER)) std::fprintf(stderr, "the search did not end\n");
    run.listed = fakes.dialog.lines.size();
    return run;
}

void Report(const char* road, std::size_t routers, int repetitions, std::span<const ModelRow> rows) {
    std::vector<double> totals, worst;
    std::size_t listed = 0;
    for (int i = 0; i < repetitions; ++i) {
        const Run run = RunSearch(routers, rows);
        totals.push_back(run.timeoutTickUs + run.moduleRepliesUs);
        worst.push_back(run.worstEventUs);
        listed = run.listed;
    }
    std::sort(totals.begin(), totals.end());
    std::sort(worst.begin(), worst.end());
    std::printf("%-22s %5zu routers, %zu listed: time-out to list  min %9.1f us  median %9.1f us  max %9.1f us;"
                "  longest single event (median) %9.1f us\n",
                road, routers, listed, totals.front(), totals[totals.size() / 2], totals.back(),
                worst[worst.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t routers = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 700;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 21;
    if (repetitions < 1) return 1;
    Report("built-in table", routers, repetitions, ModelTable::BuiltInRows());
    Report("module firmware", routers, repetitions, kModuleRows);
    return 0;
}
