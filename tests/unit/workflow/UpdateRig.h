// The whole dialog wired to the fakes, with one router on the segment, and
// the steps an update takes told as events.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "FakePorts.h"
#include "ResourceIds.h"
#include "RouterReplies.h"
#include "UpdateDialog.h"

class UpdateRig {
public:
    explicit UpdateRig(std::size_t imageSize = 2600, std::span<const ModelRow> rows = ModelTable::BuiltInRows())
        : bytes(ImageBytes(imageSize)), image{bytes.data(), static_cast<std::uint32_t>(bytes.size())}, models(rows) {
        router.key = 0x12345678;
    }

    // No repeating pattern a misplaced block could hide in.
    static std::vector<std::uint8_t> ImageBytes(std::size_t size) {
        std::vector<std::uint8_t> out(size);
        for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        return out;
    }

    MacAddress Station() const {
        MacAddress mac;
        std::copy(std::begin(fakes.host.adapter), std::end(fakes.host.adapter), mac.begin());
        return mac;
    }

    bool Event(DialogEventKind kind) { return dialog.UpdateDialogProc(DialogEvent{kind}); }
    void Command(int id) {
        DialogEvent event{DialogEventKind::Command};
        event.commandId = id;
        dialog.UpdateDialogProc(event);
    }
    void Timer(TimerId id) {
        DialogEvent event{DialogEventKind::Timer};
        event.timerId = id;
        dialog.UpdateDialogProc(event);
    }
    bool Socket(std::uint32_t event) {
        DialogEvent e{DialogEventKind::TransferSocket};
        e.socketEvent = event;
        return dialog.UpdateDialogProc(e);
    }
    void Ticks(int n) {
        for (int i = 0; i < n && fakes.timers.Running(TICK_TIMER_NUMBER); ++i) Timer(TICK_TIMER_NUMBER);
    }
    void Reply(const std::vector<std::uint8_t>& datagram) {
        fakes.udp.Arrive(datagram);
        Event(DialogEventKind::DiscoverySocket);
    }
    void Reply(std::uint8_t code, std::uint32_t status) { Reply(ReplyDatagram(code, router.mac, Station(), status)); }
    void Discovered() { Reply(DiscoveryReply(router, Station())); }

    // Dialog open, the router heard and listed, the search over.
    void Search() {
        opened = true;
        Event(DialogEventKind::Init);
        Discovered();
        Ticks(93);
    }
    // The operator selects the router, types the password and answers the question.
    void PressOk(const char* password = "secret", bool yes = true) {
        if (!opened) Search();
        fakes.dialog.selection = 0;
        fakes.dialog.texts[IDC_PASSWORD] = password;
        fakes.dialog.answers.push_back(yes);
        mark = fakes.dialog.statusHistory.size();
        sentMark = fakes.udp.sent.size();
        Command(IDOK);
    }
    // From OK to the router's answer to the authorisation request.
    void Authorise(std::uint32_t status) {
        PressOk();
        Discovered();
        Reply((router.capabilities & 0x0400) != 0 ? RSP_UPDATE_EXT : RSP_UPDATE, status);
    }
    void Connected() { Socket(TCP_CONNECT); }
    // Write-ready events until the image is through or `limit` events passed.
    void WriteReadyUntilSent(int limit = 100000) {
        for (int i = 0; i < limit && dialog.CurrentUpdateState().phase == XFER_SENDING; ++i) Socket(TCP_WRITE);
    }
    // A whole transfer, up to the status query.
    void Transfer() {
        Authorise(STATUS_OK);
        Connected();
        WriteReadyUntilSent();
    }
    void FireTransferTimer() { Timer(dialog.Transfer().transferTimerId); }

    // The status texts shown since OK, as UTF-8.
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (std::size_t i = mark; i < fakes.dialog.statusHistory.size(); ++i) {
            out.push_back(Utf8(fakes.dialog.statusHistory[i]));
        }
        return out;
    }
    // The request codes sent since OK.
    std::vector<std::uint8_t> Requests() const {
        std::vector<std::uint8_t> out;
        for (std::size_t i = sentMark; i < fakes.udp.sent.size(); ++i) out.push_back(ParseRequest(fakes.udp.sent[i].bytes).code);
        return out;
    }
    bool InputsEnabled() { return fakes.dialog.Enabled(IDOK) && fakes.dialog.Enabled(IDCANCEL); }
    TransferPhase Phase() const { return dialog.CurrentUpdateState().phase; }

    FakePorts fakes;
    std::vector<std::uint8_t> bytes;
    FirmwareImage image;
    ModelTable models;
    SimRouter router = NumberedRouter(1);
    UpdateDialog dialog{fakes.All(), image, models};
    bool opened = false;
    std::size_t mark = 0;
    std::size_t sentMark = 0;
};

// Catalogue texts as UTF-8, as the status text shows them.
inline std::string Msg(unsigned n) { return Utf8(CatalogueText(n)); }
inline std::string Sub(unsigned n, unsigned m) {
    std::string text = Msg(n);
    return text.replace(text.find("%s"), 2, Msg(m));
}
inline std::string Code(std::uint32_t status) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", status);
    std::string text = Msg(MSG_INTERNAL_ERROR);
    return text.replace(text.find("%08x"), 4, hex);
}
