#include "DialogDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "Catalogue.h"
#include "CheckedFakes.h"
#include "DialogScript.h"
#include "FakeHost.h"
#include "FakeMessages.h"
#include "FakeUdp.h"
#include "FuzzCheck.h"
#include "ResourceIds.h"
#include "ScriptedRouters.h"
#include "UpdateDialog.h"
#include "protocol/ByteCursor.h"
#include "protocol/Requests.h"

namespace {

// Enough for a module restart wait (2530 ticks) several times over, few
// enough that one input stays quick.
constexpr int MAX_EVENTS = 20000;
constexpr std::size_t MAX_RAW_DATAGRAM = 1600;  // a little more than the receive buffer
constexpr std::size_t MAX_PASSWORD = 12;        // more than the field takes
constexpr int MAX_NESTED = 3;

// Module firmware for one model, modem-module firmware for another, and
// main-unit firmware for a third: every class the workflow knows.
constexpr ModelRow kModuleRows[] = {
    {"VQT-RN8 ", 60, "ISDN-TA 2.10", "2.10", 0x00010008, 0x210, 1},
    {"VQT-RM$", 0, "MODEM 3.00", "3.00", 0x00020008, 0x300, 2},
    {"VQT-RN8$", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
};

std::uint16_t GetU16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}

std::uint32_t GetU32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint32_t>(GetU16(d, at)) | static_cast<std::uint32_t>(GetU16(d, at + 2)) << 16;
}

MacAddress MacAt(std::span<const std::uint8_t> d, std::size_t at) {
    MacAddress mac;
    std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(at), 6, mac.begin());
    return mac;
}

// The number of the catalogue message `text` is, for the trace; 0 for a
// composed text.
unsigned MessageNumber(const std::string& text) {
    for (int i = 0; i < kCatalogueSize; ++i) {
        if (text == kCatalogue[i].text) return kCatalogue[i].number;
    }
    return 0;
}

std::vector<std::uint8_t> ImageBytes(std::size_t size) {
    std::vector<std::uint8_t> out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return out;
}

// What an event's checks compare with.
struct Before {
    bool busy;
    TransferPhase phase;
    std::size_t statuses;
    std::size_t sent;
    unsigned publications;
};

class DialogDriver {
public:
    DialogDriver(std::span<const std::uint8_t> script, bool trace)
        : in_(script),
          config_(in_.U8()),
          image_(ImageBytes(in_.U16() % (MAX_IMAGE_SIZE + 1))),
          firmware_{image_.data(), static_cast<std::uint32_t>(image_.size())},
          models_((config_ & CONFIG_MODULE_TABLE) != 0 ? ModelTable(kModuleRows) : ModelTable()),
          tcp_(image_),
          ui_(Ports{dialog_, timers_, udp_, tcp_, host_, messages_}, firmware_, models_),
          trace_(trace) {
        host_.hasAdapter = (config_ & CONFIG_NO_ADAPTER) == 0;
        switch (config_ & 0xF0) {
            case CONFIG_LIBRARY_FAILS: udp_.failStartup = true; break;
            case CONFIG_SOCKET_FAILS: udp_.failOpen = true; break;
            case CONFIG_BROADCAST_REFUSED: udp_.refuseBroadcast = true; break;
            default: break;
        }
        dialog_.onQuestion = [this] { return OnQuestion(); };
    }

    DialogOutcome Run() {
        CHECK(!Deliver({DialogEventKind::Init}, "init"));
        while (in_.Remaining() > 0 && !ended_ && events_ < MAX_EVENTS) Step(false);
        End();
        return {dialog_.statusHistory, events_};
    }

private:
    // ---- the operations ----

    void Step(bool nested) {
        const auto op = static_cast<DialogOp>(in_.U8() % OP_COUNT);
        switch (op) {
            case OP_TICK: Timer(TICK_TIMER_NUMBER); break;
            case OP_TICKS: {
                const int n = in_.U8() + 1;
                for (int i = 0; i < n && timers_.Running(TICK_TIMER_NUMBER) && events_ < MAX_EVENTS; ++i) {
                    Timer(TICK_TIMER_NUMBER);
                }
                break;
            }
            case OP_TRANSFER_TIMER: Timer(TRANSFER_TIMER_NUMBER); break;
            case OP_STRAY_TIMER: Timer(in_.U8()); break;
            case OP_RAW_DATAGRAM: {
                const std::size_t length = in_.U16() % (MAX_RAW_DATAGRAM + 1);
                const auto bytes = in_.Take(std::min(length, in_.Remaining()));
                Arrive({bytes.begin(), bytes.end()});
                break;
            }
            case OP_DISCOVERY: {
                const ReplyArgs args = ReadArgs();
                Arrive(ReplyFrom(PoolRouter(args.router), RSP_DISCOVER, args));
                break;
            }
            case OP_REPLY: {
                const std::uint8_t code = in_.U8();
                const ReplyArgs args = ReadArgs();
                Arrive(ReplyFrom(PoolRouter(args.router), ReplyCodeOf(code), args));
                break;
            }
            case OP_ANSWER: Answer(ReadArgs()); break;
            case OP_EMPTY_NOTICE:
                if ((in_.U8() & 1) != 0) udp_.Arrive({});  // a receive error
                Deliver({DialogEventKind::DiscoverySocket}, "empty notice");
                break;
            case OP_OK: Ok(nested); break;
            case OP_RESEARCH:
                if (!nested) Command(IDC_RESEARCH, "research");
                break;
            case OP_CANCEL:
                if (nested) break;
                Command(IDCANCEL, "cancel");
                ended_ = dialog_.endResult != -1;
                break;
            case OP_LIST: {
                const std::uint8_t line = in_.U8();
                if (nested) break;
                // A disabled list box keeps its selection; its focus notifications still come.
                if (dialog_.Enabled(IDC_DEVICE_LIST)) dialog_.selection = LineOf(line);
                Command(IDC_DEVICE_LIST, "list");
                break;
            }
            case OP_OTHER_COMMAND: {
                const int id = in_.U16();
                if (!nested && id != IDOK && id != IDCANCEL && id != IDC_RESEARCH && id != IDC_DEVICE_LIST) {
                    Command(id, "other command");
                }
                break;
            }
            case OP_TCP_EVENT: {
                static constexpr std::uint32_t kinds[3] = {TCP_CONNECT, TCP_WRITE, TCP_CLOSE};
                const std::uint32_t kind = kinds[in_.U8() % 3];
                const std::uint32_t error = in_.U16();
                // Winsock notifies only the events asked for, of a socket that exists.
                if (tcp_.open && (tcp_.selected & kind) != 0) Socket(kind | error << 16);
                break;
            }
            case OP_WRITES: {
                const int n = in_.U8() + 1;
                for (int i = 0; i < n && Phase() == XFER_SENDING && tcp_.open && (tcp_.selected & TCP_WRITE) != 0 &&
                                events_ < MAX_EVENTS;
                     ++i) {
                    Socket(TCP_WRITE);
                }
                break;
            }
            case OP_LATE_TCP_EVENT: {
                const std::uint32_t kind = in_.U16();
                const std::uint32_t error = in_.U16();
                LateSocket(kind | error << 16);
                break;
            }
            case OP_SEND_LIMITS: {
                const int count = in_.U8() % 8;
                for (int i = 0; i < count; ++i) {
                    const std::uint16_t v = in_.U16();
                    tcp_.sendLimits.push_back(v == 0xFFFF ? -1 : static_cast<int>(v % (TRANSFER_BLOCK_SIZE + 76)));
                }
                break;
            }
            case OP_TCP_CREATE_FAILS: tcp_.failCreate = (in_.U8() & 1) != 0; break;
            case OP_REFUSE_TIMERS: timers_.refuseNext = in_.U8() % 4; break;
            case OP_REFUSE_LINES: dialog_.refuseLinesFrom = in_.U8() % 5 - 1; break;
            case OP_COUNT: break;
        }
    }

    void Ok(bool nested) {
        const std::uint8_t line = in_.U8();
        const std::size_t length = in_.U8() % (MAX_PASSWORD + 1);
        const auto password = in_.Take(std::min(length, in_.Remaining()));
        const bool yes = (in_.U8() & 1) != 0;
        const int nestedEvents = in_.U8() % (MAX_NESTED + 1);
        // A disabled button is not clicked, and the modal question disables the dialog.
        if (nested || !dialog_.Enabled(IDOK)) return;
        dialog_.selection = LineOf(line);
        std::string text(password.begin(), password.end());
        std::replace(text.begin(), text.end(), '\0', '0');  // a control's text has no NUL
        dialog_.texts[IDC_PASSWORD] = text;
        typedPassword_ = text;
        answer_ = yes;
        nestedEvents_ = nestedEvents;
        Command(IDOK, "ok");
    }

    // The question box's own event loop: timers and sockets go on meanwhile.
    bool OnQuestion() {
        for (int i = 0; i < nestedEvents_ && in_.Remaining() > 0 && events_ < MAX_EVENTS; ++i) Step(true);
        return answer_;
    }

    ReplyArgs ReadArgs() {
        ReplyArgs a;
        a.router = in_.U8();
        a.shape = in_.U8();
        a.caps = in_.U8();
        a.status = in_.U8();
        a.payload = in_.U8();
        a.subCode = in_.U8();
        a.key = in_.U32();
        return a;
    }

    std::vector<std::uint8_t> ReplyFrom(const ScriptedRouter& router, std::uint8_t code, const ReplyArgs& args) const {
        return ScriptedReply(router, code, args, ReplyDestination(args.shape, Station()));
    }

    // The reply to the last request sent, from the router it named.
    void Answer(const ReplyArgs& a) {
        if (udp_.sent.empty()) return;
        const std::vector<std::uint8_t>& request = udp_.sent.back().bytes;
        const MacAddress to = MacAt(request, 22);
        const ScriptedRouter router = to == ALL_STATIONS ? PoolRouter(a.router) : RouterByMac(to);
        Arrive(ReplyFrom(router, static_cast<std::uint8_t>(request[9] | REPLY_BIT), a));
    }

    int LineOf(std::uint8_t choice) const {
        const int n = static_cast<int>(dialog_.lines.size());
        return choice == 0xFF || n == 0 ? -1 : choice % n;
    }

    // ---- the events ----

    void Arrive(std::vector<std::uint8_t> datagram) {
        if (!udp_.open) return;  // a socket that never opened receives nothing
        udp_.Arrive(std::move(datagram));
        Deliver({DialogEventKind::DiscoverySocket}, "datagram");
    }
    void Timer(TimerId id) {
        DialogEvent e{DialogEventKind::Timer};
        e.timerId = id;
        Deliver(e, id == TICK_TIMER_NUMBER ? "tick" : id == TRANSFER_TIMER_NUMBER ? "transfer timer" : "stray timer");
    }
    void Command(int id, const char* what) {
        DialogEvent e{DialogEventKind::Command};
        e.commandId = id;
        Deliver(e, what);
    }
    void Socket(std::uint32_t event) {
        DialogEvent e{DialogEventKind::TransferSocket};
        e.socketEvent = event;
        Deliver(e, "tcp event");
    }
    // A notification posted before a failure or an abort moved the transfer
    // on: it must change nothing at all.
    void LateSocket(std::uint32_t event) {
        const TransferPhase phase = Phase();
        if (phase == XFER_CONNECTING || phase == XFER_SENDING) return;
        const std::size_t statuses = dialog_.statusHistory.size(), calls = tcp_.calls.size(),
                          sent = udp_.sent.size(), enables = dialog_.enableCalls.size();
        const auto running = timers_.running;
        DialogEvent e{DialogEventKind::TransferSocket};
        e.socketEvent = event;
        CHECK(!Deliver(e, "late tcp event"));
        CHECK(Phase() == phase);
        CHECK(dialog_.statusHistory.size() == statuses && tcp_.calls.size() == calls);
        CHECK(udp_.sent.size() == sent && dialog_.enableCalls.size() == enables);
        CHECK(timers_.running == running);
    }

    bool Deliver(const DialogEvent& event, const char* what) {
        const Before before{ui_.Engine().IsExchangeBusy(), Phase(), dialog_.statusHistory.size(), udp_.sent.size(),
                            dialog_.publications};
        ++events_;
        const bool handled = ui_.UpdateDialogProc(event);
        switch (event.kind) {
            case DialogEventKind::Init:
            case DialogEventKind::Destroy: CHECK(!handled); break;
            case DialogEventKind::TransferSocket:
                CHECK(handled == (before.phase == XFER_CONNECTING || before.phase == XFER_SENDING));
                break;
            default: CHECK(handled); break;
        }
        if (trace_) Trace(what, event, before);
        if (event.kind != DialogEventKind::Destroy) CheckInvariants(before);
        return handled;
    }

    // The dialog always ends with its end event, whatever is under way.
    void End() {
        Deliver({DialogEventKind::Destroy}, "destroy");
        CHECK(!udp_.open && !udp_.libraryStarted);
        CHECK(ui_.Devices().FirstDevice() == nullptr);
    }

    // ---- the invariants ----

    void CheckInvariants(const Before& before) {
        const ExchangeEngine& engine = ui_.Engine();
        const FirmwareTransfer& transfer = ui_.Transfer();
        const TransferPhase phase = Phase();
        const bool busy = engine.IsExchangeBusy();
        const bool transferring = phase == XFER_CONNECTING || phase == XFER_SENDING;

        // XFER_SENT lasts only within one step.
        CHECK(phase >= XFER_IDLE && phase <= XFER_ERROR_ABORT);

        // The tick runs exactly while the engine is busy, unless the
        // platform refused to start it for the running exchange.
        const bool tick = timers_.Running(TICK_TIMER_NUMBER);
        CHECK(tick == (engine.tickTimerId != 0));
        CHECK(!tick || (busy && engine.tickTimerId == TICK_TIMER_NUMBER));
        tickMayBeMissing_ = busy && (tickMayBeMissing_ || timers_.tickRefusals != tickRefusalsSeen_);
        tickRefusalsSeen_ = timers_.tickRefusals;
        CHECK(tick || !busy || tickMayBeMissing_);

        // The transfer timer: never beside an exchange, only while connecting
        // or sending, and always while sending.
        const bool transferTimer = timers_.Running(TRANSFER_TIMER_NUMBER);
        CHECK(transferTimer == (transfer.transferTimerId != 0));
        CHECK(!transferTimer || (!busy && transferring));
        CHECK(phase != XFER_SENDING || transferTimer || timers_.transferRefusals != 0);

        // Who runs in which phase, and what they point at.
        CHECK(!transferring || !busy);
        CHECK(phase < XFER_CONFIRMING || busy);  // a status query runs in 3, 4 and 5
        CHECK(phase == XFER_IDLE || InList(ui_.CurrentUpdateState().updateDevice));
        if (busy) {
            CHECK(static_cast<bool>(engine.callback));
            CHECK(udp_.armed);
            CHECK(engine.device == nullptr || InList(engine.device));
        }

        // The inputs, disabled exactly while an exchange or the transfer runs.
        const bool enabled = !(busy || transferring);
        for (int id : {IDOK, IDCANCEL, IDC_DEVICE_LIST, IDC_PASSWORD, IDC_DEVICE_LABEL, IDC_PASSWORD_LABEL}) {
            CHECK(dialog_.Enabled(id) == enabled);
        }
        CHECK(dialog_.Enabled(IDC_RESEARCH));
        CHECK(dialog_.texts[IDC_RESEARCH] == CatalogueText(enabled ? MSG_RESEARCH_BUTTON : MSG_CANCEL_BUTTON));

        // The router list: stale only while a search runs, which keeps the engine busy.
        const bool published = dialog_.publications != before.publications;
        if (dialog_.Searching()) {
            CHECK(busy);
        } else {
            CheckListBox(published);
        }

        // The bar: 16-bit positions, and full whenever the engine has finished.
        CHECK(dialog_.progressPos >= 0 && dialog_.progressPos <= 0xFFFF);
        if (published || (before.busy && !busy && phase == XFER_IDLE)) CHECK(dialog_.progressPos >= dialog_.progressMax);

        for (std::size_t i = before.statuses; i < dialog_.statusHistory.size(); ++i) {
            CHECK(dialog_.statusHistory[i].size() < STATUS_TEXT_SIZE);
        }
        for (std::size_t i = before.sent; i < udp_.sent.size(); ++i) CheckRequest(udp_.sent[i]);
    }

    // Line k of the list box leads to the k-th record, named as the line was
    // at publication. Records after the published ones have no line: refused
    // by the list box (negative) or heard of since (0, found after line 0's).
    void CheckListBox(bool published) const {
        const std::size_t lines = dialog_.lines.size();
        std::size_t position = 0;
        for (const DeviceRecord* r = ui_.Devices().FirstDevice(); r != nullptr; r = r->Next(), ++position) {
            if (position < lines) {
                CHECK(r->listIndex == static_cast<std::int32_t>(position));
                CHECK(!published || r->Name() == dialog_.lines[position]);
            } else {
                CHECK(r->listIndex <= 0);
                CHECK(!published || r->listIndex < 0);
            }
        }
        CHECK(position >= lines);
        CHECK(dialog_.selection >= -1 && dialog_.selection < static_cast<int>(lines));
    }

    // Every request is well formed and goes where its router is.
    void CheckRequest(const SentDatagram& sent) const {
        const std::span<const std::uint8_t> d = sent.bytes;
        CHECK(sent.port == ROUTER_PORT);
        CHECK(d.size() >= HEADER_SIZE && d.size() <= MAX_REQUEST_SIZE);
        CHECK(GetU16(d, 0) == HEADER_SIZE && HEADER_SIZE + GetU16(d, 10) == d.size());
        CHECK(GetU32(d, 4) == REQUEST_VERSION);
        const std::uint8_t code = d[9];
        CHECK(d[8] == static_cast<std::uint8_t>(~code));
        CHECK(MacAt(d, 16) == Station());
        const MacAddress to = MacAt(d, 22);
        if (to == ALL_STATIONS) {
            CHECK(code == REQ_DISCOVER && sent.ipAddress == BROADCAST_ADDRESS);
            return;
        }
        const DeviceRecord* router = ui_.Devices().FindDeviceByMac(to);
        CHECK(router != nullptr);
        const int row = models_.MatchModel(router->Identity(), router->subCode);
        switch (code) {
            case REQ_DISCOVER: CHECK(sent.ipAddress == BROADCAST_ADDRESS); break;
            case REQ_MODULE_INFO: {
                CHECK(sent.ipAddress == BROADCAST_ADDRESS);
                CHECK(row != NO_MODEL_ROW);
                const std::uint32_t firmwareClass = FirmwareClassOf(models_.Row(row).kind);
                CHECK(firmwareClass == FIRMWARE_ISDN_MODULE || firmwareClass == FIRMWARE_MODEM_MODULE);
                CHECK(GetU32(d, HEADER_SIZE) == (firmwareClass == FIRMWARE_ISDN_MODULE ? 0u : 1u));
                break;
            }
            case REQ_UPDATE:
            case REQ_UPDATE_EXT: CheckUpdateRequest(d, *router, row); break;
            case REQ_STATUS: CHECK(sent.ipAddress == router->ipAddress); break;
            default: CHECK(!"an unknown request code");
        }
        if (code == REQ_UPDATE || code == REQ_UPDATE_EXT) CHECK(sent.ipAddress == router->ipAddress);
    }

    // The image size, the row's values for the extended request, and the
    // password last typed, scrambled with the key the router gave last.
    void CheckUpdateRequest(std::span<const std::uint8_t> d, const DeviceRecord& router, int row) const {
        CHECK(row != NO_MODEL_ROW);
        CHECK(GetU32(d, HEADER_SIZE) == image_.size());
        std::size_t scrambledAt = HEADER_SIZE + 4;
        if (d[9] == REQ_UPDATE_EXT) {
            const ModelRow& model = models_.Row(row);
            CHECK(GetU32(d, HEADER_SIZE + 4) == model.valueA);
            CHECK(GetU32(d, HEADER_SIZE + 8) == model.kind);
            CHECK(GetU32(d, HEADER_SIZE + 12) == model.valueC);
            scrambledAt = HEADER_SIZE + 16;
        }
        std::uint8_t typed[PASSWORD_SIZE] = {};
        std::memcpy(typed, typedPassword_.data(), std::min(typedPassword_.size(), PASSWORD_SIZE - 1));
        CHECK(std::equal(std::begin(typed), std::end(typed), router.password));
        std::uint8_t scrambled[8];
        ScramblePassword(scrambled, typed, router.key);
        CHECK(d.size() == scrambledAt + 8 && std::equal(std::begin(scrambled), std::end(scrambled), d.begin() + static_cast<std::ptrdiff_t>(scrambledAt)));
    }

    bool InList(const DeviceRecord* record) const {
        for (const DeviceRecord* r = ui_.Devices().FirstDevice(); r != nullptr; r = r->Next()) {
            if (r == record) return true;
        }
        return false;
    }

    TransferPhase Phase() const { return ui_.CurrentUpdateState().phase; }

    // The first request names the station; without one, nothing can answer it.
    MacAddress Station() const {
        if (!udp_.sent.empty()) return MacAt(udp_.sent.front().bytes, 16);
        MacAddress mac;
        std::copy(std::begin(host_.adapter), std::end(host_.adapter), mac.begin());
        return mac;
    }

    void Trace(const char* what, const DialogEvent& event, const Before& before) const {
        std::fprintf(stderr, "%5d %-15s", events_, what);
        if (event.kind == DialogEventKind::TransferSocket) std::fprintf(stderr, " 0x%08x", event.socketEvent);
        std::fprintf(stderr, " phase %d busy %d lines %zu", Phase(), ui_.Engine().IsExchangeBusy(),
                     dialog_.lines.size());
        for (std::size_t i = before.statuses; i < dialog_.statusHistory.size(); ++i) {
            const unsigned n = MessageNumber(dialog_.statusHistory[i]);
            if (n != 0) {
                std::fprintf(stderr, " [%u]", n);
            } else {
                std::fprintf(stderr, " [text of %zu bytes]", dialog_.statusHistory[i].size());
            }
        }
        std::fprintf(stderr, "\n");
    }

    ByteReader in_;
    const std::uint8_t config_;
    const std::vector<std::uint8_t> image_;
    const FirmwareImage firmware_;
    const ModelTable models_;
    WatchedDialog dialog_;
    RefusingTimers timers_;
    FakeUdp udp_;
    CheckedTcp tcp_;
    FakeHost host_;
    FakeMessages messages_;
    UpdateDialog ui_;
    const bool trace_;

    std::string typedPassword_;  // at the last OK
    bool answer_ = false;
    int nestedEvents_ = 0;
    bool ended_ = false;
    int events_ = 0;
    bool tickMayBeMissing_ = false;
    unsigned tickRefusalsSeen_ = 0;
};

}  // namespace

DialogOutcome RunDialogScript(std::span<const std::uint8_t> script, bool trace) {
    DialogDriver driver(script, trace);
    return driver.Run();
}
