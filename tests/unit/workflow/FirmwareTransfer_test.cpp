#include <gtest/gtest.h>

#include "UpdateRig.h"

namespace {

using Texts = std::vector<std::string>;
constexpr std::uint32_t WithError(std::uint32_t kind, std::uint32_t error = 10061) { return kind | error << 16; }

TEST(FirmwareTransfer, TheImageGoesOutWholeInBlocksOfAtMost1024Bytes) {
    UpdateRig rig(798968);
    rig.Authorise(STATUS_OK);
    EXPECT_EQ(rig.fakes.dialog.progressMax, 780);
    EXPECT_TRUE(rig.fakes.timers.Running(TRANSFER_TIMER_NUMBER));
    EXPECT_EQ(rig.fakes.timers.Interval(TRANSFER_TIMER_NUMBER), 30000u);
    rig.Connected();
    EXPECT_EQ(rig.fakes.timers.Interval(TRANSFER_TIMER_NUMBER), 10000u);
    rig.WriteReadyUntilSent();

    EXPECT_EQ(rig.fakes.tcp.received, rig.bytes);
    EXPECT_EQ(rig.fakes.tcp.sendCalls, 781);
    EXPECT_EQ(rig.dialog.Transfer().blocksSent, 781u);
    EXPECT_EQ(rig.fakes.dialog.progressPos != 0, true);
    // Shut down for sending, then closed, then the status query.
    const auto& calls = rig.fakes.tcp.calls;
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "shutdown");
    EXPECT_EQ(calls.back(), "close");
    EXPECT_EQ(rig.Phase(), XFER_CONFIRMING);
    EXPECT_FALSE(rig.fakes.timers.Running(TRANSFER_TIMER_NUMBER));
    EXPECT_EQ(rig.Requests().back(), REQ_STATUS);
    EXPECT_EQ(rig.Messages(), (Texts{Msg(18), Msg(15), Msg(19), Msg(15)}));
}

TEST(FirmwareTransfer, TheEndIsSeenOnTheWriteReadyEventAfterTheLastBlock) {
    UpdateRig rig(2048);  // a multiple of 1024: ends with a full block
    rig.Authorise(STATUS_OK);
    rig.Connected();       // block 1
    rig.Socket(TCP_WRITE);  // block 2
    EXPECT_EQ(rig.Phase(), XFER_SENDING);
    EXPECT_EQ(rig.fakes.tcp.received.size(), 2048u);
    rig.Socket(TCP_WRITE);  // nothing left: the end
    EXPECT_EQ(rig.Phase(), XFER_CONFIRMING);
    EXPECT_EQ(rig.fakes.tcp.sendCalls, 2);
    EXPECT_EQ(rig.fakes.dialog.progressPos, 2);
}

TEST(FirmwareTransfer, APartlyTakenBlockIsFinishedInOrderBeforeTheNext) {
    UpdateRig rig(2600);
    rig.Authorise(STATUS_OK);
    // Block 1 in three pieces with a refused send between, then the rest whole.
    rig.fakes.tcp.sendLimits = {300, -1, 600, 124};
    rig.Connected();
    EXPECT_EQ(rig.dialog.Transfer().blocksSent, 0u);
    rig.WriteReadyUntilSent();
    EXPECT_EQ(rig.fakes.tcp.received, rig.bytes);
    EXPECT_EQ(rig.dialog.Transfer().blocksSent, 3u);
    EXPECT_EQ(rig.Phase(), XFER_CONFIRMING);
}

// One row per way the transfer can break off.
struct Failure {
    const char* name;
    void (*act)(UpdateRig&);
    Texts expected;      // after OK
    bool statusQuery;    // whether REQ_STATUS follows
};

TEST(FirmwareTransfer, EveryFailureRoadShowsItsMessages) {
    const Failure failures[] = {
        {"no socket, then the 30 s deadline",
         [](UpdateRig& r) {
             r.fakes.tcp.failCreate = true;
             r.Authorise(STATUS_OK);
             r.FireTransferTimer();
         },
         {Msg(18), Msg(15), Msg(19), Sub(12, 17)}, false},
        {"connection refused",
         [](UpdateRig& r) {
             r.Authorise(STATUS_OK);
             r.Socket(WithError(TCP_CONNECT));
         },
         {Msg(18), Msg(15), Msg(19), Sub(12, 17)}, false},
        {"no connection within 30 s",
         [](UpdateRig& r) {
             r.Authorise(STATUS_OK);
             r.FireTransferTimer();
         },
         {Msg(18), Msg(15), Msg(19), Sub(12, 17)}, false},
        {"closed with an error while connecting",
         [](UpdateRig& r) {
             r.Authorise(STATUS_OK);
             r.Socket(WithError(TCP_CLOSE));
         },
         {Msg(18), Msg(15), Msg(19), Sub(12, 17)}, false},
        {"closed by the router mid-image",
         [](UpdateRig& r) {
             r.Authorise(STATUS_OK);
             r.Connected();
             r.Socket(TCP_CLOSE);
         },
         {Msg(18), Msg(15), Msg(19), Msg(15), Sub(12, 17)}, false},
        {"a failed write",
         [](UpdateRig& r) {
             r.Authorise(STATUS_OK);
             r.Connected();
             r.Socket(WithError(TCP_WRITE));
         },
         {Msg(18), Msg(15), Msg(19), Msg(15), Msg(25)}, true},
        {"no write-ready event within 10 s",
         [](UpdateRig& r) {
             r.Authorise(STATUS_OK);
             r.Connected();
             r.FireTransferTimer();
         },
         {Msg(18), Msg(15), Msg(19), Msg(15), Msg(25)}, true},
        {"the operator cancels while connecting",
         [](UpdateRig& r) {
             r.Authorise(STATUS_OK);
             r.Command(IDC_RESEARCH);
         },
         {Msg(18), Msg(15), Msg(19), Msg(26)}, true},
        {"the operator cancels mid-image",
         [](UpdateRig& r) {
             r.Authorise(STATUS_OK);
             r.Connected();
             r.Command(IDC_RESEARCH);
         },
         {Msg(18), Msg(15), Msg(19), Msg(15), Msg(26)}, true},
    };
    for (const Failure& f : failures) {
        UpdateRig rig;
        f.act(rig);
        EXPECT_EQ(rig.Messages(), f.expected) << f.name;
        EXPECT_FALSE(rig.fakes.timers.Running(TRANSFER_TIMER_NUMBER)) << f.name;
        const bool queried = rig.Requests().back() == REQ_STATUS;
        EXPECT_EQ(queried, f.statusQuery) << f.name;
        EXPECT_EQ(rig.dialog.Engine().IsExchangeBusy(), f.statusQuery) << f.name;
        if (f.statusQuery) {
            EXPECT_NE(rig.Phase(), XFER_IDLE) << f.name;
            EXPECT_FALSE(rig.InputsEnabled()) << f.name;
        } else {
            EXPECT_EQ(rig.Phase(), XFER_IDLE) << f.name;
            EXPECT_TRUE(rig.InputsEnabled()) << f.name;
            EXPECT_FALSE(rig.fakes.tcp.open) << f.name;
        }
    }
}

TEST(FirmwareTransfer, LateNotificationsAfterAFailureOrAnAbortChangeNothing) {
    for (bool abort : {false, true}) {
        UpdateRig rig;
        rig.Authorise(STATUS_OK);
        rig.Connected();
        if (abort) {
            rig.Command(IDC_RESEARCH);
        } else {
            rig.Socket(WithError(TCP_WRITE));
        }
        const auto calls = rig.fakes.tcp.calls;
        const auto shown = rig.fakes.dialog.statusHistory.size();
        for (std::uint32_t event : {std::uint32_t{TCP_WRITE}, std::uint32_t{TCP_CLOSE}, WithError(TCP_WRITE)}) {
            EXPECT_FALSE(rig.Socket(event)) << abort;
        }
        EXPECT_EQ(rig.fakes.tcp.calls, calls) << abort;
        EXPECT_EQ(rig.fakes.dialog.statusHistory.size(), shown) << abort;
        EXPECT_FALSE(rig.fakes.timers.Running(TRANSFER_TIMER_NUMBER)) << abort;
    }
}

TEST(FirmwareTransfer, AnAbortLeavesTheConnectionSilentUntilItsStatusQueryEnds) {
    UpdateRig rig;
    rig.Authorise(STATUS_OK);
    rig.Connected();
    rig.Command(IDC_RESEARCH);
    EXPECT_TRUE(rig.fakes.tcp.open);
    EXPECT_EQ(rig.fakes.tcp.selected, 0u);
    rig.Command(IDC_RESEARCH);  // now cancels the status query
    EXPECT_EQ(rig.Messages().back(), Msg(26));
    EXPECT_FALSE(rig.fakes.tcp.open);  // released, not leaked
    EXPECT_EQ(rig.Phase(), XFER_IDLE);
    EXPECT_TRUE(rig.InputsEnabled());

    // A second update opens a new connection.
    rig.Transfer();
    EXPECT_EQ(rig.fakes.tcp.creates, 2);
    EXPECT_EQ(rig.Phase(), XFER_CONFIRMING);
}

TEST(FirmwareTransfer, ResearchDuringAnAbortsStatusQueryCancelsItAndOtherwiseDoesNothingTwice) {
    UpdateRig rig;
    rig.Authorise(STATUS_OK);
    rig.Command(IDC_RESEARCH);
    const auto sent = rig.fakes.udp.sent.size();
    rig.Ticks(1);
    EXPECT_EQ(rig.fakes.udp.sent.size(), sent);  // one status query, not two
    EXPECT_EQ(rig.Phase(), XFER_USER_ABORT);
}

}  // namespace
