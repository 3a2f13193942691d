#include "UpdateDialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "FakePorts.h"
#include "ResourceIds.h"
#include "RouterReplies.h"

namespace {

class UpdateDialogTest : public ::testing::Test {
protected:
    FakePorts fakes;
    FirmwareImage image;
    ModelTable models;
    UpdateDialog dialog{fakes.All(), image, models};

    bool Send(DialogEventKind kind) { return dialog.UpdateDialogProc(DialogEvent{kind}); }
    bool Command(int id) {
        DialogEvent event{DialogEventKind::Command};
        event.commandId = id;
        return dialog.UpdateDialogProc(event);
    }
    bool Timer(TimerId id) {
        DialogEvent event{DialogEventKind::Timer};
        event.timerId = id;
        return dialog.UpdateDialogProc(event);
    }
    MacAddress Station() const {
        MacAddress mac{};
        std::copy(std::begin(fakes.host.adapter), std::end(fakes.host.adapter), mac.begin());
        return mac;
    }
    void Arrive(const SimRouter& router) {
        fakes.udp.Arrive(DiscoveryReply(router, Station()));
        Send(DialogEventKind::DiscoverySocket);
    }
    // The tick timer's events; the fake's timer id is its number.
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) Timer(TICK_TIMER_NUMBER);
    }
    void RunSearchToTheEnd() {
        Ticks(93);
        ASSERT_FALSE(fakes.timers.Running(TICK_TIMER_NUMBER));
    }
    std::string Status() const { return Utf8(fakes.dialog.Status()); }
    std::string ResearchText() { return Utf8(fakes.dialog.texts[IDC_RESEARCH]); }
};

TEST_F(UpdateDialogTest, StartCentresOpensTheEndpointAndSearches) {
    fakes.dialog.parent = {512, 384, 512, 384};
    fakes.dialog.window = {0, 0, 300, 200};
    EXPECT_FALSE(Send(DialogEventKind::Init));

    EXPECT_EQ(fakes.dialog.window.left, 362);
    EXPECT_EQ(fakes.dialog.window.top, 284);
    EXPECT_TRUE(fakes.udp.libraryStarted);
    EXPECT_TRUE(fakes.udp.open);
    EXPECT_TRUE(fakes.udp.broadcast);
    // The endpoint and the station identity are ready before the first send.
    ASSERT_EQ(fakes.udp.sent.size(), 1u);
    const SentDatagram& discover = fakes.udp.sent[0];
    EXPECT_EQ(ParseRequest(discover.bytes).code, REQ_DISCOVER);
    EXPECT_EQ(ParseRequest(discover.bytes).destination, ALL_STATIONS);
    const MacAddress station = Station();
    EXPECT_TRUE(std::equal(station.begin(), station.end(), discover.bytes.begin() + 16));
    EXPECT_EQ(discover.ipAddress, BROADCAST_ADDRESS);
    EXPECT_EQ(discover.port, ROUTER_PORT);

    EXPECT_EQ(Status(), "ネットワーク上のネトリアを検索しています。");
    EXPECT_EQ(ResearchText(), "キャンセル");
    EXPECT_FALSE(fakes.dialog.Enabled(IDCANCEL));
    EXPECT_EQ(fakes.dialog.textLimits[IDC_PASSWORD], 8);
    EXPECT_EQ(fakes.dialog.focus, IDC_RESEARCH);
    EXPECT_TRUE(fakes.timers.Running(TICK_TIMER_NUMBER));
}

TEST_F(UpdateDialogTest, SearchRunsOnTheDialogsEvents) {
    Send(DialogEventKind::Init);
    SimRouter first = NumberedRouter(1), second = NumberedRouter(2);
    Arrive(second);
    Ticks(50);
    Arrive(first);
    RunSearchToTheEnd();

    EXPECT_EQ(fakes.dialog.lines, (std::vector<std::string>{"Router 2", "Router 1"}));
    EXPECT_EQ(Status(), "2台のネトリアが見つかりました。");
    EXPECT_EQ(ResearchText(), "再検索(&R)");
    EXPECT_TRUE(fakes.dialog.Enabled(IDOK));
    EXPECT_EQ(fakes.udp.sent.size(), 3u);
}

TEST_F(UpdateDialogTest, TimerEventsTickOnlyForTheRunningTickTimer) {
    Send(DialogEventKind::Init);
    EXPECT_TRUE(Timer(TRANSFER_TIMER_NUMBER));
    EXPECT_TRUE(Timer(0));
    EXPECT_TRUE(Timer(77));
    EXPECT_EQ(fakes.dialog.progressPos, 0);
    Timer(TICK_TIMER_NUMBER);
    EXPECT_EQ(fakes.dialog.progressPos, 1);

    RunSearchToTheEnd();
    const int position = fakes.dialog.progressPos;
    const std::size_t sent = fakes.udp.sent.size();
    const std::size_t statuses = fakes.dialog.statusHistory.size();
    // The tick's stored id is 0 now: neither its old id nor 0 reaches the engine.
    Ticks(200);
    Timer(0);
    EXPECT_EQ(fakes.dialog.progressPos, position);
    EXPECT_EQ(fakes.udp.sent.size(), sent);
    EXPECT_EQ(fakes.dialog.statusHistory.size(), statuses);
}

TEST_F(UpdateDialogTest, CloseIsRefusedWhileTheInputsAreDisabled) {
    Send(DialogEventKind::Init);
    EXPECT_TRUE(Command(IDCANCEL));  // the close box during the search
    EXPECT_EQ(fakes.dialog.endResult, -1);
    RunSearchToTheEnd();
    EXPECT_TRUE(Command(IDCANCEL));
    EXPECT_EQ(fakes.dialog.endResult, 0);
}

TEST_F(UpdateDialogTest, ResearchCancelsARunningSearchAndStartsANewOneWhenIdle) {
    Send(DialogEventKind::Init);
    Arrive(NumberedRouter(1));
    Ticks(10);
    EXPECT_TRUE(Command(IDC_RESEARCH));  // reads キャンセル: cancels
    EXPECT_EQ(fakes.dialog.lines, std::vector<std::string>{"Router 1"});
    EXPECT_EQ(Status(), "1台のネトリアが見つかりました。");
    EXPECT_FALSE(fakes.timers.Running(TICK_TIMER_NUMBER));
    EXPECT_EQ(ResearchText(), "再検索(&R)");

    const std::size_t sent = fakes.udp.sent.size();
    EXPECT_TRUE(Command(IDC_RESEARCH));  // idle: a new search, the old records gone
    EXPECT_EQ(Status(), "ネットワーク上のネトリアを検索しています。");
    EXPECT_EQ(fakes.udp.sent.size(), sent + 1);
    EXPECT_EQ(ResearchText(), "キャンセル");
    fakes.dialog.selection = 0;
    Command(IDC_DEVICE_LIST);
    EXPECT_EQ(Status(), "ネットワーク上のネトリアを検索しています。");

    RunSearchToTheEnd();
    EXPECT_TRUE(fakes.dialog.lines.empty());
    EXPECT_EQ(Status(), "ネトリアは検出されませんでした。");
}

TEST_F(UpdateDialogTest, ListNotificationsShowTheSelectedRouter) {
    Send(DialogEventKind::Init);
    SimRouter router = NumberedRouter(1);
    router.ipAddress = 0xC0A80B01;
    Arrive(router);
    RunSearchToTheEnd();

    const std::size_t sent = fakes.udp.sent.size();
    fakes.dialog.selection = 0;
    EXPECT_TRUE(Command(IDC_DEVICE_LIST));  // any notification, a double click included
    EXPECT_EQ(Status(), "製品名　：　VQT-RN8 1.10\r\nIPアドレス　：　192.168.11.1");
    EXPECT_EQ(fakes.udp.sent.size(), sent) << "a double click never starts an update";
}

TEST_F(UpdateDialogTest, RoutingResults) {
    Send(DialogEventKind::Init);
    RunSearchToTheEnd();
    const std::size_t sent = fakes.udp.sent.size();
    const std::string status = Status();

    struct Row {
        DialogEvent event;
        bool handled;
    };
    const Row rows[] = {
        {{DialogEventKind::Command, IDOK}, true},           // the update is not routed here yet
        {{DialogEventKind::Command, IDC_PASSWORD}, true},   // an edit notification
        {{DialogEventKind::Command, IDC_INFO_TEXT}, true},  // likewise
        {{DialogEventKind::Command, 4242}, true},
        {{DialogEventKind::Timer, 0, 99}, true},
        {{DialogEventKind::DiscoverySocket}, true},
        {{DialogEventKind::TransferSocket, 0, 0, 0x10}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.event.kind) * 10000 + row.event.commandId);
        EXPECT_EQ(dialog.UpdateDialogProc(row.event), row.handled);
    }
    EXPECT_EQ(fakes.udp.sent.size(), sent);
    EXPECT_EQ(Status(), status);
    EXPECT_EQ(fakes.dialog.endResult, -1);
}

TEST_F(UpdateDialogTest, EndShutsNetworkingDownAndForgetsTheRouters) {
    Send(DialogEventKind::Init);
    Arrive(NumberedRouter(1));
    RunSearchToTheEnd();
    EXPECT_FALSE(Send(DialogEventKind::Destroy));
    EXPECT_FALSE(fakes.udp.open);
    EXPECT_FALSE(fakes.udp.libraryStarted);

    const std::string status = Status();
    fakes.dialog.selection = 0;
    Command(IDC_DEVICE_LIST);
    EXPECT_EQ(Status(), status);
}

}  // namespace
