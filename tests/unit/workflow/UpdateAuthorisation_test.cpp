#include <gtest/gtest.h>

#include <cstring>

#include "UpdateRig.h"
#include "protocol/Requests.h"

namespace {

using Texts = std::vector<std::string>;

TEST(UpdateAuthorisation, NothingHappensWithoutARouterForTheSelectedLine) {
    for (int line : {-1, 1}) {
        UpdateRig rig;
        rig.Search();
        rig.fakes.dialog.selection = line;
        const std::size_t shown = rig.fakes.dialog.statusHistory.size();
        const std::size_t sent = rig.fakes.udp.sent.size();
        rig.Command(IDOK);
        EXPECT_EQ(rig.fakes.dialog.statusHistory.size(), shown) << line;
        EXPECT_EQ(rig.fakes.udp.sent.size(), sent) << line;
        EXPECT_TRUE(rig.fakes.dialog.questions.empty()) << line;
    }
}

TEST(UpdateAuthorisation, ARouterAlreadyUpdatingIsRefusedWithoutADatagram) {
    UpdateRig rig;
    rig.router.capabilities = 0x0300;  // updatable, updating
    rig.Search();
    rig.PressOk();
    EXPECT_EQ(rig.Messages(), Texts{Msg(MSG_ALREADY_UPDATING)});
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_TRUE(rig.fakes.dialog.questions.empty());
}

TEST(UpdateAuthorisation, TheQuestionNamesTheVersionAndNoKeepsThePassword) {
    UpdateRig rig;
    rig.Search();
    rig.PressOk("abc", false);
    ASSERT_EQ(rig.fakes.dialog.questions.size(), 1u);
    const auto& [text, caption] = rig.fakes.dialog.questions[0];
    std::string expected = Msg(MSG_CONFIRM_MAIN_UNIT);
    expected.replace(expected.find("%s"), 2, "1.10");
    EXPECT_EQ(Utf8(text), expected);
    EXPECT_EQ(Utf8(caption), Msg(MSG_APP_CAPTION));
    EXPECT_TRUE(rig.Messages().empty());
    EXPECT_TRUE(rig.Requests().empty());
    EXPECT_EQ(rig.fakes.dialog.selection, 0);  // cleared only on Yes

    // Each OK reads the field again; a shorter entry after a longer one
    // leaves nothing of the longer behind it.
    rig.PressOk("12345678", false);
    rig.PressOk("xyz");
    EXPECT_EQ(rig.fakes.dialog.selection, -1);
    rig.Discovered();
    const auto& request = rig.fakes.udp.sent.back().bytes;
    ASSERT_EQ(request.size(), 44u);
    const std::uint8_t field[9] = {'x', 'y', 'z', 0, 0, 0, 0, 0, 0};
    std::uint8_t scrambled[8];
    ScramblePassword(scrambled, field, rig.router.key);
    EXPECT_EQ(0, std::memcmp(request.data() + 36, scrambled, 8));
}

// One row per way the authorisation can end.
struct Ending {
    const char* name;
    std::uint16_t capabilities;
    std::uint32_t localAddress;
    int steps;  // 0: no prepare reply; 1: prepare reply, no authorisation reply; 2: with reply
    std::uint32_t status;
    bool cancel;  // the operator cancels instead of waiting
    Texts expected;
};

TEST(UpdateAuthorisation, EveryEndingShowsItsMessageAndGivesTheInputsBack) {
    const std::uint32_t sameSubnet = 0x0A000005;   // 10.0.0.5, the router is 10.0.0.1/24
    const std::uint32_t otherSubnet = 0x0A000105;  // 10.0.1.5
    const Ending endings[] = {
        {"prepare time-out", 0x0100, sameSubnet, 0, 0, false, {Msg(18), Sub(12, 17)}},
        {"prepare cancelled", 0x0100, sameSubnet, 0, 0, true, {Msg(18), Sub(12, 17)}},
        {"authorisation time-out, same subnet", 0x0100, sameSubnet, 1, 0, false, {Msg(18), Sub(12, 17)}},
        {"authorisation time-out, other subnet", 0x0100, otherSubnet, 1, 0, false, {Msg(18), Sub(12, 16)}},
        {"authorisation time-out, no local address", 0x0100, 0, 1, 0, false, {Msg(18), Sub(12, 16)}},
        {"authorisation cancelled", 0x0100, sameSubnet, 1, 0, true, {Msg(18)}},
        {"bad password", 0x0100, sameSubnet, 2, STATUS_BAD_PASSWORD, false, {Msg(18), Msg(13)}},
        {"image refused", 0x0100, sameSubnet, 2, STATUS_FAILED, false, {Msg(18), Msg(33)}},
        {"router's own code", 0x0100, sameSubnet, 2, 5, false, {Msg(18), Code(5)}},
        {"extended: bad password", 0x0500, sameSubnet, 2, STATUS_BAD_PASSWORD, false, {Msg(18), Msg(13)}},
    };
    for (const Ending& e : endings) {
        UpdateRig rig;
        rig.fakes.host.localAddress = e.localAddress;
        rig.router.capabilities = e.capabilities;
        rig.Search();
        rig.PressOk();
        if (e.steps >= 1) rig.Discovered();
        if (e.steps == 2) rig.Reply(e.capabilities & 0x0400 ? RSP_UPDATE_EXT : RSP_UPDATE, e.status);
        if (e.cancel) {
            rig.Command(IDC_RESEARCH);
        } else {
            rig.Ticks(200);
        }
        EXPECT_EQ(rig.Messages(), e.expected) << e.name;
        EXPECT_FALSE(rig.dialog.Engine().IsExchangeBusy()) << e.name;
        EXPECT_FALSE(rig.fakes.timers.Running(TICK_TIMER_NUMBER)) << e.name;
        EXPECT_TRUE(rig.InputsEnabled()) << e.name;
        EXPECT_EQ(rig.Phase(), XFER_IDLE) << e.name;
        EXPECT_EQ(rig.fakes.tcp.creates, 0) << e.name;
    }
}

TEST(UpdateAuthorisation, PrepareRefreshesTheKeyAndEveryResendOfTheExtendedRequestIsTheSame) {
    UpdateRig rig;
    rig.router.capabilities = 0x0500;  // updatable, extended update
    rig.Search();
    rig.PressOk("pw");
    // The prepare request is addressed to this router alone.
    ASSERT_EQ(rig.Requests(), std::vector<std::uint8_t>{REQ_DISCOVER});
    EXPECT_EQ(ParseRequest(rig.fakes.udp.sent.back().bytes).destination, rig.router.mac);

    rig.router.key = 0xCAFEF00D;  // a new key at every discovery reply
    rig.Discovered();
    rig.Ticks(31);
    rig.Ticks(31);
    ASSERT_EQ(rig.Requests(), (std::vector<std::uint8_t>{REQ_DISCOVER, REQ_UPDATE_EXT, REQ_UPDATE_EXT, REQ_UPDATE_EXT}));
    const auto& first = rig.fakes.udp.sent[rig.sentMark + 1];
    for (std::size_t i = rig.sentMark + 2; i < rig.fakes.udp.sent.size(); ++i) {
        EXPECT_EQ(rig.fakes.udp.sent[i].bytes, first.bytes);
    }
    EXPECT_EQ(first.ipAddress, rig.router.ipAddress);
    ASSERT_EQ(first.bytes.size(), 56u);
    // The three values of the row after the image size: 0, 8, 0x110.
    const std::uint8_t values[12] = {0, 0, 0, 0, 8, 0, 0, 0, 0x10, 0x01, 0, 0};
    EXPECT_EQ(0, std::memcmp(first.bytes.data() + 36, values, 12));
    const std::uint8_t field[9] = {'p', 'w', 0};
    std::uint8_t scrambled[8];
    ScramblePassword(scrambled, field, 0xCAFEF00D);
    EXPECT_EQ(0, std::memcmp(first.bytes.data() + 48, scrambled, 8));
}

TEST(UpdateAuthorisation, OnlyTheAwaitedRepliesOfTheRouterItselfCount) {
    UpdateRig rig;
    rig.router.capabilities = 0x0500;
    rig.Search();
    rig.PressOk();
    SimRouter other = NumberedRouter(2);
    rig.Reply(DiscoveryReply(other, rig.Station()));  // absorbed, the wait goes on
    EXPECT_EQ(rig.Requests(), std::vector<std::uint8_t>{REQ_DISCOVER});
    rig.Discovered();
    rig.Reply(RSP_UPDATE, STATUS_BAD_PASSWORD);  // the plain reply does not answer the extended request
    rig.Reply(ReplyDatagram(RSP_UPDATE_EXT, other.mac, rig.Station(), STATUS_FAILED));  // another router's
    EXPECT_EQ(rig.Messages(), Texts{Msg(18)});
    EXPECT_TRUE(rig.dialog.Engine().IsExchangeBusy());
    rig.Reply(RSP_UPDATE_EXT, STATUS_OK);
    EXPECT_EQ(rig.Messages(), (Texts{Msg(18), Msg(15), Msg(19)}));
    EXPECT_EQ(rig.Phase(), XFER_CONNECTING);
    EXPECT_FALSE(rig.InputsEnabled());
    EXPECT_EQ(rig.fakes.tcp.connectAddress, rig.router.ipAddress);
    EXPECT_EQ(rig.fakes.tcp.connectPort, 22360);
}

TEST(UpdateAuthorisation, ARouterThatNoLongerFitsTheImageIsRefusedBeforeAnythingIsSent) {
    // Listed as "VQT-RN8 1.10"; its fresh reply names another model.
    UpdateRig rig;
    rig.Search();
    rig.PressOk();
    rig.router.identity = "VQT-RN9 2.00";
    rig.Discovered();
    EXPECT_EQ(rig.Messages(), (Texts{Msg(18), Msg(33)}));
    EXPECT_EQ(rig.Requests(), std::vector<std::uint8_t>{REQ_DISCOVER});
    EXPECT_FALSE(rig.dialog.Engine().IsExchangeBusy());
    EXPECT_TRUE(rig.InputsEnabled());

    // And at the next OK, before the question.
    rig.PressOk();
    EXPECT_EQ(rig.Messages(), Texts{Msg(33)});
    EXPECT_EQ(rig.fakes.dialog.questions.size(), 1u);
}

}  // namespace

namespace {

TEST(UpdateAuthorisation, AnOkThatArrivesWhileTheInputsAreDisabledIsIgnored) {
    // Enter reaches the default button's command even while it is disabled;
    // it must not replace the running exchange or the transfer.
    UpdateRig rig;
    rig.Authorise(STATUS_OK);
    rig.Connected();
    const auto sent = rig.fakes.udp.sent.size();
    rig.fakes.dialog.selection = 0;
    rig.fakes.dialog.answers.push_back(true);
    rig.Command(IDOK);
    EXPECT_EQ(rig.Phase(), XFER_SENDING);
    EXPECT_TRUE(rig.fakes.dialog.questions.size() == 1u);
    EXPECT_EQ(rig.fakes.udp.sent.size(), sent);

    rig.WriteReadyUntilSent();  // now the status query runs
    rig.Command(IDOK);
    EXPECT_EQ(rig.Phase(), XFER_CONFIRMING);
    EXPECT_EQ(rig.Requests().back(), REQ_STATUS);
}

}  // namespace
