#include "engine/ExchangeEngine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "CoreRig.h"
#include "RouterReplies.h"

namespace {

const MacAddress kRouterMac = {0x00, 0x80, 0x92, 0x00, 0x00, 0x01};

// A callback that records what it heard, runs an optional step inside the
// call (where chaining happens), and returns a chosen result.
struct Probe {
    std::vector<ExchangeEvent> events;
    int result = 0;
    std::function<int(ExchangeEvent)> inside;

    ExchangeCallback Handler() {
        return [this](ExchangeEvent event) {
            events.push_back(event);
            return inside ? inside(event) : result;
        };
    }
};

class ExchangeEngineTest : public ::testing::Test {
protected:
    CoreRig rig;
    ExchangeEngine& engine = rig.engine;
    Probe probe;

    std::size_t Sent() const { return rig.udp.sent.size(); }
    std::uint8_t LastSentCode() const { return rig.udp.sent.back().bytes[9]; }
    // Any accepted reply; the engine does not look at what it means.
    std::vector<std::uint8_t> AnyReply() const { return ReplyDatagram(RSP_STATUS, kRouterMac, rig.Station(), STATUS_OK); }

    int Start(std::uint32_t firstWaitMs, std::uint32_t intervalMs, int sends, int collectOnly = 0) {
        return engine.StartExchange(firstWaitMs, intervalMs, collectOnly, sends, REQ_DISCOVER, nullptr,
                                    probe.Handler());
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) ASSERT_TRUE(rig.Tick()) << "the tick stopped early, after " << i;
    }
    // The state every way of stopping leaves behind.
    void ExpectStopped() {
        EXPECT_FALSE(engine.IsExchangeBusy());
        EXPECT_EQ(engine.tickTimerId, 0u);
        EXPECT_TRUE(rig.timers.running.empty());
        EXPECT_TRUE(rig.surface.InputsEnabled());
        EXPECT_EQ(rig.dialog.progressPos, engine.progressMark);
    }
};

// ---------------------------------------------------------------------------
// The schedule of one exchange, tick by tick.

struct ScheduleCase {
    const char* name;
    std::uint32_t firstWaitMs, intervalMs;
    int sends;
    std::vector<int> sendTicks;
    int timeoutTick;
    std::uint16_t range;
};

void PrintTo(const ScheduleCase& c, std::ostream* os) { *os << c.name; }

std::vector<int> Every(int first, int step, int count) {
    std::vector<int> ticks;
    for (int i = 0; i < count; ++i) ticks.push_back(first + i * step);
    return ticks;
}

class ExchangeScheduleTest : public ExchangeEngineTest, public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(ExchangeScheduleTest, SendsPositionsAndTimeOut) {
    const ScheduleCase& c = GetParam();
    EXPECT_EQ(Start(c.firstWaitMs, c.intervalMs, c.sends), 1);
    EXPECT_EQ(rig.dialog.progressMax, c.range);
    EXPECT_EQ(engine.progressCounter, 0);
    EXPECT_FALSE(rig.surface.InputsEnabled());
    EXPECT_EQ(rig.timers.Interval(TICK_TIMER_NUMBER), 100u);

    std::vector<int> sendTicks;
    if (Sent() == 1) sendTicks.push_back(0);
    int timeoutTick = -1;
    for (int tick = 1; tick <= c.timeoutTick + 1 && timeoutTick < 0; ++tick) {
        const std::size_t before = Sent();
        ASSERT_TRUE(rig.Tick()) << "no tick running at " << tick;
        if (Sent() > before) sendTicks.push_back(tick);
        if (!probe.events.empty()) {
            timeoutTick = tick;
            EXPECT_EQ(rig.dialog.progressPos, c.range) << "the stop puts the bar at the mark";
        } else {
            ASSERT_EQ(rig.dialog.progressPos, tick & 0xFFFF) << "at tick " << tick;
            ASSERT_EQ(engine.IsExchangeBusy(), engine.tickTimerId != 0) << "at tick " << tick;
        }
    }
    EXPECT_EQ(sendTicks, c.sendTicks);
    EXPECT_EQ(timeoutTick, c.timeoutTick);
    EXPECT_EQ(probe.events, std::vector<ExchangeEvent>{EV_TIMEOUT});
    ExpectStopped();
    EXPECT_FALSE(rig.udp.armed);
}

INSTANTIATE_TEST_SUITE_P(
    Timelines, ExchangeScheduleTest,
    ::testing::Values(
        ScheduleCase{"Search_3000_3000_3", 3000, 3000, 3, {0, 31, 62}, 93, 90},
        ScheduleCase{"RestartWait_1000_1000_60", 1000, 1000, 60, Every(0, 11, 60), 660, 600},
        ScheduleCase{"ModuleRestartWait_1000_1000_230", 1000, 1000, 230, Every(0, 11, 230), 2530, 2300},
        ScheduleCase{"OneSend", 3000, 3000, 1, {0}, 31, 30},
        // T = 0: the second send goes out at the first tick.
        ScheduleCase{"FirstWaitBelow100ms", 99, 3000, 3, {0, 1, 32}, 63, 60},
        // 3050 and 3099 ms are both 30 ticks.
        ScheduleCase{"MillisecondsTruncated", 3050, 3099, 2, {0, 31}, 62, 60},
        // Not provided for by any caller: the request still goes out once.
        ScheduleCase{"ZeroSendsCountAsOne", 3000, 3000, 0, {0}, 31, 30},
        // 65537 ticks: range and positions are 16-bit and wrap.
        ScheduleCase{"RangeKeptTo16Bits", 6553700, 0, 1, {0}, 65538, 1}),
    [](const auto& tested) { return std::string(tested.param.name); });

// ---------------------------------------------------------------------------
// Arrivals.

TEST_F(ExchangeEngineTest, OnlyACallbackResultOfExactlyOneEndsTheExchange) {
    for (int result : {1, 0, 2, -1}) {
        SCOPED_TRACE(result);
        probe = Probe{};
        probe.result = result;
        Start(3000, 3000, 3);
        Ticks(5);
        rig.Arrive(AnyReply());
        EXPECT_EQ(probe.events, std::vector<ExchangeEvent>{EV_ARRIVED});
        if (result == 1) {
            ExpectStopped();
            EXPECT_EQ(rig.dialog.progressPos, 90);
            EXPECT_FALSE(rig.udp.armed);
        } else {
            EXPECT_TRUE(engine.IsExchangeBusy());
            EXPECT_TRUE(rig.udp.armed);
            EXPECT_FALSE(rig.surface.InputsEnabled());
            const std::size_t before = Sent();
            Ticks(26);  // tick 31: the second send
            EXPECT_EQ(Sent(), before + 1);
            engine.CancelExchange();
        }
    }
}

TEST_F(ExchangeEngineTest, RejectedDatagramReachesNoCallback) {
    Start(3000, 3000, 3);
    rig.Arrive(ReplyDatagram(REQ_DISCOVER, kRouterMac, rig.Station(), 0));  // a request, as another station sends it
    EXPECT_TRUE(probe.events.empty());
    EXPECT_EQ(rig.queue.Count(), 0u);
}

TEST_F(ExchangeEngineTest, CollectOnlyCallsBackOnceWithEverythingQueued) {
    for (const ExchangeEvent end : {EV_TIMEOUT, EV_CANCELLED}) {
        SCOPED_TRACE(end);
        probe = Probe{};
        std::size_t queuedAtCall = 0;
        probe.inside = [&](ExchangeEvent) {
            queuedAtCall = rig.queue.Count();
            return 1;
        };
        Start(3000, 3000, 3, /*collectOnly=*/3);  // only the lowest bit counts
        EXPECT_TRUE(engine.collectOnly);
        rig.Arrive(AnyReply());
        Ticks(40);
        rig.Arrive(AnyReply());
        Ticks(20);
        rig.Arrive(AnyReply());
        EXPECT_TRUE(probe.events.empty());
        if (end == EV_CANCELLED) {
            engine.CancelExchange();
        } else {
            EXPECT_EQ(rig.TickUntilIdle(), 33);
        }
        EXPECT_EQ(probe.events, std::vector<ExchangeEvent>{end});
        EXPECT_EQ(queuedAtCall, 3u);
        EXPECT_EQ(rig.queue.Count(), 3u) << "neither a time-out nor a cancel clears the queue";
    }
}

TEST_F(ExchangeEngineTest, DatagramArrivingWhileIdleWaitsForTheNextStart) {
    // A callback that stops the exchange itself and goes on without a new one
    // leaves the notification armed.
    probe.inside = [&](ExchangeEvent) {
        engine.StopExchange();
        return 0;
    };
    Start(3000, 3000, 3);
    rig.Arrive(AnyReply());
    ASSERT_FALSE(engine.IsExchangeBusy());
    EXPECT_TRUE(rig.udp.armed);

    rig.Arrive(AnyReply());
    EXPECT_EQ(probe.events.size(), 1u);
    EXPECT_EQ(rig.queue.Count(), 2u);

    Start(3000, 3000, 3);
    EXPECT_EQ(rig.queue.Count(), 0u);
}

TEST_F(ExchangeEngineTest, DatagramsWaitingUnreadInTheEndpointAnswerNoLaterExchange) {
    // A late reply to an exchange that has ended by a time-out: nobody listens,
    // so it waits in the endpoint, and the notification that arming posts for
    // it must find it gone.
    Start(3000, 3000, 1);
    rig.TickUntilIdle();
    ASSERT_FALSE(rig.udp.armed);
    rig.udp.Arrive(AnyReply());
    rig.udp.Arrive(AnyReply());

    probe.events.clear();
    Start(3000, 3000, 3);
    engine.OnDatagramReady();
    EXPECT_TRUE(rig.udp.inbound.empty());
    EXPECT_EQ(rig.queue.Count(), 0u);
    EXPECT_TRUE(probe.events.empty());

    rig.Arrive(AnyReply());  // the answer to this exchange's request
    EXPECT_EQ(probe.events, std::vector<ExchangeEvent>{EV_ARRIVED});
}

TEST_F(ExchangeEngineTest, DiscardingAtTheStartEndsUnderAFloodThatNeverPauses) {
    rig.udp.inbound.assign(MAX_DISCARDED_ON_START + 5, AnyReply());
    Start(3000, 3000, 3);
    EXPECT_EQ(rig.udp.inbound.size(), 5u);
    EXPECT_EQ(Sent(), 1u);
}

TEST_F(ExchangeEngineTest, StopWhileIdleOnlyEnablesTheInputs) {
    rig.surface.SetInputsEnabled(0);
    rig.dialog.progressPos = 17;
    engine.StopExchange();
    EXPECT_TRUE(rig.surface.InputsEnabled());
    EXPECT_EQ(rig.dialog.progressPos, 17);
    EXPECT_TRUE(rig.timers.starts.empty());
    EXPECT_FALSE(engine.IsExchangeBusy());
}

// ---------------------------------------------------------------------------
// Chaining from inside a callback.

TEST_F(ExchangeEngineTest, ChainingFromAnArrivalReplacesTheExchangeInPlace) {
    DeviceRecord* router = rig.devices.NewDevice();
    router->mac = kRouterMac;
    router->ipAddress = 0xC0A80B01;
    std::strcpy(router->identity, "VQT-RN8 1.10");
    router->subCode = 60;

    Probe next;
    int chained = -1;
    probe.inside = [&](ExchangeEvent) {
        chained = engine.StartExchange(1000, 1000, 0, 60, REQ_STATUS, router, next.Handler());
        return chained;
    };
    Start(3000, 3000, 3);
    Ticks(10);
    rig.Arrive(AnyReply());

    EXPECT_EQ(chained, 0);
    EXPECT_TRUE(engine.IsExchangeBusy());
    EXPECT_EQ(Sent(), 2u);
    EXPECT_EQ(LastSentCode(), REQ_STATUS);
    EXPECT_EQ(rig.udp.sent.back().ipAddress, 0xC0A80B01u);
    EXPECT_EQ(rig.timers.starts.size(), 1u) << "the running tick keeps its rhythm";
    EXPECT_EQ(rig.queue.Count(), 0u);
    EXPECT_EQ(rig.dialog.progressMax, 600);
    EXPECT_EQ(engine.modelRow, 1);
    EXPECT_TRUE(rig.udp.armed);

    // The new schedule: the next send eleven ticks on; the old callback is done.
    Ticks(1);
    EXPECT_EQ(rig.dialog.progressPos, 1);
    Ticks(10);
    EXPECT_EQ(Sent(), 3u);
    rig.Arrive(AnyReply());
    EXPECT_EQ(probe.events.size(), 1u);
    EXPECT_EQ(next.events, std::vector<ExchangeEvent>{EV_ARRIVED});
}

TEST_F(ExchangeEngineTest, ChainingAfterItsOwnStopStartsFromIdle) {
    Probe next;
    int chained = -1;
    probe.inside = [&](ExchangeEvent) {
        engine.StopExchange();
        chained = engine.StartExchange(3000, 3000, 0, 3, REQ_DISCOVER, nullptr, next.Handler());
        return 0;  // a 1 would stop the exchange just started
    };
    Start(3000, 3000, 3);
    Ticks(10);
    rig.Arrive(AnyReply());

    EXPECT_EQ(chained, 1);
    EXPECT_TRUE(engine.IsExchangeBusy());
    EXPECT_EQ(rig.timers.starts.size(), 2u);
    EXPECT_NE(engine.tickTimerId, 0u);
    EXPECT_FALSE(rig.surface.InputsEnabled());
    EXPECT_TRUE(rig.udp.armed);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(ExchangeEngineTest, ChainingFromATimeOutStartsFromIdle) {
    Probe next;
    probe.inside = [&](ExchangeEvent) {
        EXPECT_EQ(engine.StartExchange(3000, 3000, 0, 3, REQ_DISCOVER, nullptr, next.Handler()), 1);
        return 0;
    };
    Start(0, 0, 1);
    Ticks(1);
    EXPECT_EQ(probe.events, std::vector<ExchangeEvent>{EV_TIMEOUT});
    EXPECT_TRUE(engine.IsExchangeBusy());
    EXPECT_NE(engine.tickTimerId, 0u);
    EXPECT_TRUE(rig.udp.armed);
    EXPECT_EQ(rig.dialog.progressMax, 90);
}

// ---------------------------------------------------------------------------
// Cancel, device queries and the bar's mark.

TEST_F(ExchangeEngineTest, CancelStopsAndDisarmsBeforeTheCallbackHearsOfIt) {
    probe.inside = [&](ExchangeEvent) {
        EXPECT_EQ(rig.dialog.progressPos, 90);
        EXPECT_TRUE(rig.surface.InputsEnabled());
        EXPECT_FALSE(rig.udp.armed);
        EXPECT_FALSE(engine.IsExchangeBusy());
        EXPECT_TRUE(rig.timers.running.empty());
        return 0;
    };
    Start(3000, 3000, 3);
    Ticks(12);
    engine.CancelExchange();
    EXPECT_EQ(probe.events, std::vector<ExchangeEvent>{EV_CANCELLED});
    ExpectStopped();
}

TEST_F(ExchangeEngineTest, WithoutATickTimerRepliesAndCancelStillWork) {
    rig.timers.refuse = true;
    probe.result = 0;
    Start(3000, 3000, 3);
    EXPECT_TRUE(engine.IsExchangeBusy());
    EXPECT_EQ(engine.tickTimerId, 0u);
    EXPECT_FALSE(rig.Tick());
    rig.Arrive(AnyReply());
    engine.CancelExchange();
    EXPECT_EQ(probe.events, (std::vector<ExchangeEvent>{EV_ARRIVED, EV_CANCELLED}));
}

TEST_F(ExchangeEngineTest, ModelRowIsWorkedOutOnlyForAnExchangeWithADevice) {
    DeviceRecord* router = rig.devices.NewDevice();
    std::strcpy(router->identity, "VQT-RN8");
    router->subCode = 60;
    engine.StartExchange(3000, 3000, 0, 3, REQ_DISCOVER, router, probe.Handler());
    EXPECT_EQ(engine.modelRow, 0);
    std::strcpy(router->identity, "OTHER");
    engine.StartExchange(3000, 3000, 0, 3, REQ_DISCOVER, nullptr, probe.Handler());
    EXPECT_EQ(engine.modelRow, 0);
    engine.StartExchange(3000, 3000, 0, 3, REQ_DISCOVER, router, probe.Handler());
    EXPECT_EQ(engine.modelRow, NO_MODEL_ROW);
}

TEST_F(ExchangeEngineTest, DeviceQueryLeavesQueueRangeAndCounterAlone) {
    rig.Arrive(AnyReply());  // idle, not armed: queued all the same
    ASSERT_EQ(rig.queue.Count(), 1u);
    rig.dialog.progressMax = 270;
    engine.requestCode = REQ_DISCOVER;
    engine.progressCounter = 90;

    engine.ArmDeviceQuery();
    EXPECT_EQ(rig.queue.Count(), 1u);
    EXPECT_EQ(rig.dialog.progressMax, 270);
    EXPECT_EQ(engine.progressCounter, 90);
    EXPECT_TRUE(engine.IsExchangeBusy());
    EXPECT_NE(engine.tickTimerId, 0u);
    EXPECT_TRUE(rig.udp.armed);
    EXPECT_FALSE(rig.surface.InputsEnabled());
    EXPECT_EQ(Sent(), 1u);

    engine.ArmDeviceQuery();  // the next router, while running
    EXPECT_EQ(rig.timers.starts.size(), 1u);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(ExchangeEngineTest, ProgressMarkAdvancesIn16Bits) {
    engine.progressMark = 65500;
    engine.progressStep = 90;
    engine.AdvanceProgressMark();
    EXPECT_EQ(engine.progressCounter, 65500);
    EXPECT_EQ(rig.dialog.progressPos, 65500);
    EXPECT_EQ(engine.progressMark, 54);
}

}  // namespace
