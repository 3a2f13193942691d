// The cost of one tick of the engine's 100 ms timer in a running exchange:
// the common tick that only moves the progress bar, and the tick that also
// resends the request.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "CoreRig.h"
#include "protocol/Protocol.h"

namespace {

// Long enough that no tick of a run reaches the resend; restarted if one does.
constexpr std::uint32_t kLongWaitMs = 0xFFFFFFF0u;

void StartLongDiscovery(CoreRig& rig, int sends) {
    rig.engine.StartExchange(kLongWaitMs, kLongWaitMs, 1, sends, REQ_DISCOVER, nullptr,
                             [](ExchangeEvent) { return 0; });
}

void BM_TickBetweenResends(benchmark::State& state) {
    CoreRig rig;
    StartLongDiscovery(rig, 1);
    for (auto _ : state) {
        rig.engine.OnEngineTick();
        if (!rig.engine.IsExchangeBusy()) {
            state.PauseTiming();
            StartLongDiscovery(rig, 1);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_TickBetweenResends);

void BM_TickThatResends(benchmark::State& state) {
    CoreRig rig;
    rig.engine.StartExchange(100, 100, 1, 1 << 30, REQ_DISCOVER, nullptr, [](ExchangeEvent) { return 0; });
    rig.engine.ticksPerInterval = 0;  // every tick resends
    std::int64_t ticks = 0;
    for (auto _ : state) {
        rig.engine.OnEngineTick();
        if (++ticks % 4096 == 0) {
            state.PauseTiming();
            rig.udp.sent.clear();  // the fake keeps every datagram
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_TickThatResends);

}  // namespace

BENCHMARK_MAIN();
