#include <gtest/gtest.h>

#include "UpdateRig.h"

namespace {

using Texts = std::vector<std::string>;
constexpr std::uint32_t WithError(std::uint32_t kind) { return kind | 10053u << 16; }

enum class Road { WholeImage, FailedWrite, Abort };

void GetToTheStatusQuery(UpdateRig& rig, Road road) {
    rig.Authorise(STATUS_OK);
    rig.Connected();
    if (road == Road::WholeImage) rig.WriteReadyUntilSent();
    if (road == Road::FailedWrite) rig.Socket(WithError(TCP_WRITE));
    if (road == Road::Abort) rig.Command(IDC_RESEARCH);
}

struct Outcome {
    const char* name;
    Road road;
    void (*act)(UpdateRig&);
    std::string last;  // the final status text
};

void Answer(UpdateRig& r, std::uint32_t status) { r.Reply(RSP_STATUS, status); }

TEST(CompletionTracking, EveryOutcomeOfTheStatusQueryEndsIdleWithTheInputsBack) {
    const std::string start[] = {Msg(15), Msg(25), Msg(26)};  // what each road shows while the query runs
    const Outcome outcomes[] = {
        {"image failed", Road::WholeImage, [](UpdateRig& r) { Answer(r, STATUS_FAILED); }, Msg(22)},
        {"failed write, router failed", Road::FailedWrite, [](UpdateRig& r) { Answer(r, STATUS_FAILED); }, Msg(23)},
        {"abort, router failed", Road::Abort, [](UpdateRig& r) { Answer(r, STATUS_FAILED); }, Msg(24)},
        {"router's own code", Road::WholeImage, [](UpdateRig& r) { Answer(r, 0x80000002); }, Code(0x80000002)},
        {"abort, router's own code", Road::Abort, [](UpdateRig& r) { Answer(r, 7); }, Code(7)},
        {"no answer", Road::WholeImage, [](UpdateRig& r) { r.Ticks(200); }, Sub(12, 17)},
        {"failed write, no answer", Road::FailedWrite, [](UpdateRig& r) { r.Ticks(200); }, Sub(12, 17)},
        {"cancelled", Road::WholeImage, [](UpdateRig& r) { r.Command(IDC_RESEARCH); }, Msg(15)},
        {"failed write, cancelled", Road::FailedWrite, [](UpdateRig& r) { r.Command(IDC_RESEARCH); }, Msg(25)},
        {"abort, cancelled", Road::Abort, [](UpdateRig& r) { r.Command(IDC_RESEARCH); }, Msg(26)},
    };
    for (const Outcome& o : outcomes) {
        UpdateRig rig;
        GetToTheStatusQuery(rig, o.road);
        ASSERT_EQ(rig.Messages().back(), start[static_cast<int>(o.road)]) << o.name;
        o.act(rig);
        EXPECT_EQ(rig.Messages().back(), o.last) << o.name;
        EXPECT_EQ(rig.Phase(), XFER_IDLE) << o.name;
        EXPECT_TRUE(rig.InputsEnabled()) << o.name;
        EXPECT_FALSE(rig.dialog.Engine().IsExchangeBusy()) << o.name;
        EXPECT_FALSE(rig.fakes.tcp.open) << o.name;
    }
}

TEST(CompletionTracking, OnlyTheRoutersOwnStatusReplyEndsTheQuery) {
    UpdateRig rig;
    GetToTheStatusQuery(rig, Road::WholeImage);
    rig.Reply(ReplyDatagram(RSP_STATUS, NumberedRouter(9).mac, rig.Station(), STATUS_FAILED));
    rig.Reply(RSP_UPDATE, STATUS_FAILED);
    EXPECT_EQ(rig.Phase(), XFER_CONFIRMING);
    EXPECT_TRUE(rig.dialog.Engine().IsExchangeBusy());
}

struct Return {
    const char* name;
    Road road;
    const char* identity;  // what the router reports after its restart; nullptr: it never comes back
    bool cancel;
    std::string last;
};

TEST(CompletionTracking, AfterStatusOkTheRestartWaitChecksTheNewIdentity) {
    const Return returns[] = {
        {"expected identity", Road::WholeImage, "VQT-RN8 1.10", false, Msg(27)},
        {"expected identity and more", Road::WholeImage, "VQT-RN8 1.10b", false, Msg(27)},
        {"another identity", Road::WholeImage, "VQT-RN8 1.09", false, Msg(28)},
        {"shorter identity", Road::WholeImage, "VQT-RN8 1.1", false, Msg(28)},
        {"never comes back", Road::WholeImage, nullptr, false, Msg(29)},
        {"the operator stops waiting", Road::WholeImage, nullptr, true, Msg(21)},
        {"after a failed write", Road::FailedWrite, "VQT-RN8 1.10", false, Msg(27)},
        {"after an abort", Road::Abort, "VQT-RN8 1.10", false, Msg(27)},
    };
    for (const Return& r : returns) {
        UpdateRig rig;
        GetToTheStatusQuery(rig, r.road);
        Answer(rig, STATUS_OK);
        EXPECT_EQ(rig.Messages().back(), Msg(21)) << r.name;
        EXPECT_EQ(rig.Phase(), XFER_IDLE) << r.name;
        EXPECT_FALSE(rig.InputsEnabled()) << r.name;
        EXPECT_FALSE(rig.fakes.tcp.open) << r.name;
        // Polled with REQ_DISCOVER addressed to the router, once a second.
        rig.Ticks(12);
        EXPECT_EQ(rig.Requests().back(), REQ_DISCOVER) << r.name;
        EXPECT_EQ(rig.fakes.dialog.progressMax, 600) << r.name;
        // Another router's reply is absorbed and the wait goes on.
        rig.Reply(DiscoveryReply(NumberedRouter(5), rig.Station()));
        EXPECT_TRUE(rig.dialog.Engine().IsExchangeBusy()) << r.name;
        if (r.cancel) {
            rig.Command(IDC_RESEARCH);
        } else if (r.identity != nullptr) {
            rig.router.identity = r.identity;
            rig.Discovered();
        } else {
            rig.Ticks(660);
        }
        EXPECT_EQ(rig.Messages().back(), r.last) << r.name;
        EXPECT_TRUE(rig.InputsEnabled()) << r.name;
        EXPECT_FALSE(rig.dialog.Engine().IsExchangeBusy()) << r.name;
    }
}

TEST(CompletionTracking, TheMainUnitWaitGivesUpAt660Ticks) {
    UpdateRig rig;
    GetToTheStatusQuery(rig, Road::WholeImage);
    Answer(rig, STATUS_OK);
    const std::size_t before = rig.fakes.udp.sent.size();
    int ticks = 0;
    while (rig.fakes.timers.Running(TICK_TIMER_NUMBER)) {
        rig.Timer(TICK_TIMER_NUMBER);
        ++ticks;
    }
    EXPECT_EQ(ticks, 660);
    EXPECT_EQ(rig.fakes.udp.sent.size() - before, 59u);  // the first of the 60 went out with the reply
    EXPECT_EQ(rig.Messages().back(), Msg(29));
}

}  // namespace

namespace {

// Module firmware rows, which the built-in table does not have.
const ModelRow kIsdnRows[] = {{"VQT-RN8 ", 60, "ISDN 2.00", "2.00", 0x00010008, 0x110, 0}};
const ModelRow kModemRows[] = {{"VQT-RN8 ", 60, "MODEM 3.00", "3.00", 0x00020008, 0x110, 0}};
// Row 0 is of no known class; a router first listed through row 1 matches
// it once its identity reads "VQT-RN8".
const ModelRow kOtherClassRows[] = {{"VQT-RN8$", 60, "X", "9.99", 0x00070008, 0x110, 0},
                                    {"VQT-RN8 ", 60, "ISDN 2.00", "2.00", 0x00010008, 0x110, 0}};

UpdateRig& ModuleRouter(UpdateRig& rig, const char* moduleText) {
    rig.router.capabilities = 0x0D00;  // updatable, extended update, module slot
    rig.opened = true;
    rig.Event(DialogEventKind::Init);
    rig.Discovered();
    rig.Ticks(93);  // discovery over; the module query is under way
    rig.Reply(ModuleInfoReply(rig.router.mac, rig.Station(), STATUS_OK, moduleText));
    return rig;
}

struct ModuleReturn {
    const char* name;
    std::span<const ModelRow> rows;
    std::uint32_t selector;
    const char* reported;  // the module text after the restart; "" for an empty payload
    std::string last;
};

TEST(CompletionTracking, AModuleUpdateWaitsForTheModuleToReportItsNewText) {
    const ModuleReturn returns[] = {
        {"ISDN module updated", kIsdnRows, 0, "ISDN 2.00 (2026)", Msg(27)},
        {"modem module updated", kModemRows, 1, "MODEM 3.00", Msg(27)},
        {"ISDN module unchanged", kIsdnRows, 0, "ISDN 1.00", Msg(28)},
        // An empty reply leaves the text from before the update, which is compared.
        {"empty module reply", kIsdnRows, 0, "", Msg(28)},
    };
    for (const ModuleReturn& r : returns) {
        UpdateRig rig(2600, r.rows);
        ModuleRouter(rig, "ISDN 1.00");
        ASSERT_EQ(rig.fakes.dialog.lines.size(), 1u) << r.name;
        rig.Transfer();
        rig.Reply(RSP_STATUS, STATUS_OK);
        EXPECT_EQ(rig.Messages().back(), Msg(21)) << r.name;
        EXPECT_EQ(rig.fakes.dialog.progressMax, 2300) << r.name;
        const SentRequest poll = ParseRequest(rig.fakes.udp.sent.back().bytes);
        EXPECT_EQ(poll.code, REQ_MODULE_INFO) << r.name;
        EXPECT_EQ(poll.argument, r.selector) << r.name;
        // Any status ends the wait.
        rig.Reply(ModuleInfoReply(rig.router.mac, rig.Station(), STATUS_FAILED, r.reported));
        EXPECT_EQ(rig.Messages().back(), r.last) << r.name;
        EXPECT_TRUE(rig.InputsEnabled()) << r.name;
        EXPECT_FALSE(rig.dialog.Engine().IsExchangeBusy()) << r.name;
    }
}

TEST(CompletionTracking, AnImageOfAnotherClassEndsAtStatusOkWithoutARestartWait) {
    UpdateRig rig(2600, kOtherClassRows);
    ModuleRouter(rig, "ISDN 1.00");
    ASSERT_EQ(rig.fakes.dialog.lines.size(), 1u);
    rig.router.identity = "VQT-RN8";
    rig.Transfer();
    rig.Reply(RSP_STATUS, STATUS_OK);
    EXPECT_EQ(rig.Messages().back(), Msg(21));
    EXPECT_TRUE(rig.InputsEnabled());
    EXPECT_FALSE(rig.dialog.Engine().IsExchangeBusy());
    EXPECT_EQ(rig.Requests().back(), REQ_STATUS);
}

}  // namespace
