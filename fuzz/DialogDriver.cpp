#include "DialogDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>

#include "Catalogue.h"
#include "DialogScript.h"
#include "FakeDialog.h"
#include "FakeHost.h"
#include "FakeMessages.h"
#include "FakeTcp.h"
#include "FakeTimers.h"
#include "FakeUdp.h"
#include "ResourceIds.h"
#include "RouterReplies.h"
#include "UpdateDialog.h"
#include "protocol/ByteCursor.h"
#include "protocol/Requests.h"

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

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

const MacAddress OTHER_STATION = {0x00, 0x16, 0x3E, 0x99, 0x99, 0x99};

struct Router {
    MacAddress mac;
    std::uint32_t ipAddress;
    std::uint32_t netmask;
    int number;
};

// Routers 0 to 2 are in another subnet than this computer (192.168.11.2),
// routers 3 and 4 in its own; router 5 is a stranger no request names.
Router PoolRouter(int index) {
    const int i = index % (ROUTERS + 1);
    const auto n = static_cast<std::uint8_t>(i == ROUTERS ? 0x7F : i + 1);
    const std::uint32_t ip = i < 3 || i == ROUTERS ? 0x0A000000u | n : 0xC0A80B00u | n;
    return {{0x00, 0x80, 0x92, 0x00, 0x00, n}, ip, 0xFFFFFF00, i};
}

Router RouterByMac(const MacAddress& mac) {
    for (int i = 0; i <= ROUTERS; ++i) {
        if (PoolRouter(i).mac == mac) return PoolRouter(i);
    }
    Router r = PoolRouter(ROUTERS);
    r.mac = mac;
    return r;
}

std::uint32_t VersionOf(std::uint8_t shape) {
    constexpr std::uint32_t versions[8] = {0x00010003, 0x00010003, 0x00010003, 0x00010003,
                                           0x00010000, 0x00010001, 0x00010002, 0x00020000};
    return versions[shape & 7];
}

std::size_t FixedPart(std::uint32_t version) {
    return version >= 0x00010003 ? 156 : version >= 0x00010002 ? 140 : version >= 0x00010001 ? 132 : 128;
}

std::uint32_t StatusOf(std::uint8_t choice) {
    switch (choice) {
        case CHOOSE_OK: return STATUS_OK;
        case CHOOSE_FAILED: return STATUS_FAILED;
        case CHOOSE_BAD_PASSWORD: return STATUS_BAD_PASSWORD;
        default: return choice;
    }
}

std::vector<std::uint8_t> PayloadOf(std::uint8_t choice) {
    const int c = choice % 8;
    if (c == PAYLOAD_LONG) return std::vector<std::uint8_t>(300, 'M');
    if (c == PAYLOAD_NUL) return {0};
    return {PAYLOADS[c].begin(), PAYLOADS[c].end()};
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutText(std::vector<std::uint8_t>& out, std::size_t at, std::size_t width, std::string_view text) {
    std::memcpy(out.data() + at, text.data(), std::min(width, text.size()));
}

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

// The list box and the status text, watched: the start of a search shows
// message 4, and only a publication empties the list box.
class WatchedDialog : public FakeDialog {
public:
    void SetControlText(int controlId, const char* text) override {
        FakeDialog::SetControlText(controlId, text);
        if (controlId == IDC_INFO_TEXT && text == searchingText) lastSearchStart = ++sequence;
    }
    void ResetDeviceLines() override {
        FakeDialog::ResetDeviceLines();
        lastPublication = ++sequence;
        ++publications;
    }
    bool AskYesNo(const char* text, const char* caption) override {
        CHECK(std::strlen(text) < STATUS_TEXT_SIZE);
        CHECK(std::strlen(caption) < CAPTION_SIZE);
        questions.emplace_back(text, caption);
        return onQuestion();
    }

    bool Searching() const { return lastSearchStart > lastPublication; }

    const std::string searchingText = CatalogueText(MSG_SEARCHING);
    std::function<bool()> onQuestion;  // the modal loop: other events run meanwhile
    unsigned sequence = 0, lastSearchStart = 0, lastPublication = 0;
    unsigned publications = 0;
};

// Timers whose next starts can be refused, counting the refusals.
class RefusingTimers : public FakeTimers {
public:
    TimerId StartTimer(unsigned number, unsigned intervalMs) override {
        if (refuseNext > 0) {
            --refuseNext;
            ++(number == TICK_TIMER_NUMBER ? tickRefusals : transferRefusals);
            return 0;
        }
        return FakeTimers::StartTimer(number, intervalMs);
    }

    int refuseNext = 0;
    unsigned tickRefusals = 0, transferRefusals = 0;
};

// A connection that checks what it is asked: one at a time, bytes only
// while open, each connection's stream a prefix of the image, and the
// sending direction shut down only after the whole image.
class CheckedTcp : public FakeTcp {
public:
    explicit CheckedTcp(const std::vector<std::uint8_t>& image) : image_(image) {}

    bool Create() override {
        CHECK(!open);  // never two connections, never a lost handle
        if (!FakeTcp::Create()) return false;
        streamStart_ = received.size();
        return true;
    }
    int Connect(std::uint32_t ipAddress, std::uint16_t port) override {
        CHECK(open);
        CHECK(port == ROUTER_PORT);
        return FakeTcp::Connect(ipAddress, port);
    }
    int Send(const std::uint8_t* data, int length) override {
        CHECK(open);
        CHECK(length > 0 && length <= static_cast<int>(TRANSFER_BLOCK_SIZE));
        const int taken = FakeTcp::Send(data, length);
        CHECK(Sent() <= image_.size());
        CHECK(std::equal(received.begin() + static_cast<std::ptrdiff_t>(streamStart_), received.end(), image_.begin()));
        return taken;
    }
    void ShutdownSending() override {
        CHECK(open);
        CHECK(Sent() == image_.size());
        FakeTcp::ShutdownSending();
    }

private:
    std::size_t Sent() const { return received.size() - streamStart_; }

    const std::vector<std::uint8_t>& image_;
    std::size_t streamStart_ = 0;
};

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
                Arrive(DiscoveryFrom(PoolRouter(args.router), args));
                break;
            }
            case OP_REPLY: {
                const std::uint8_t code = in_.U8();
                const ReplyArgs args = ReadArgs();
                Arrive(ReplyFrom(PoolRouter(args.router), CodeOf(code), args));
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

    static std::uint8_t CodeOf(std::uint8_t choice) {
        switch (choice % 6) {
            case CODE_UPDATE: return RSP_UPDATE;
            case CODE_UPDATE_EXT: return RSP_UPDATE_EXT;
            case CODE_STATUS: return RSP_STATUS;
            case CODE_MODULE_INFO: return RSP_MODULE_INFO;
            case CODE_DISCOVER: return RSP_DISCOVER;
            default: return choice;
        }
    }

    MacAddress DestinationOf(std::uint8_t shape) const {
        switch (shape >> 3 & 3) {
            case 1: return ALL_STATIONS;
            case 2: return OTHER_STATION;
            default: return Station();
        }
    }

    std::vector<std::uint8_t> DiscoveryFrom(const Router& router, const ReplyArgs& a) const {
        const std::uint32_t version = VersionOf(a.shape);
        std::vector<std::uint8_t> p(FixedPart(version));
        PutU32(p, 0, router.ipAddress);
        PutU32(p, 4, router.netmask);
        PutU16(p, 8, static_cast<std::uint16_t>(a.caps << 8));
        PutU32(p, 12, a.key);
        const std::string name =
            (a.payload == 0 ? "Router " : "Renamed ") + std::to_string(router.number) + (a.payload == 0 ? "" : "/" + std::to_string(a.payload));
        PutText(p, 16, 32, name);
        const int identity = a.shape >> 5;
        PutText(p, 80, 16, identity == LONG_IDENTITY ? IDENTITIES[0] : IDENTITIES[identity]);
        if (p.size() >= 140) PutU16(p, 138, a.subCode < 0xF0 ? 60 : a.subCode - 0xF0);
        if (identity == LONG_IDENTITY && p.size() >= 132) {
            // 300 bytes without a terminator, after the fixed part; the offset counts from the end.
            std::string tail = "VQT-RN8 1.10 ";
            tail.resize(300, 'L');
            p.insert(p.end(), tail.begin(), tail.end());
            PutU16(p, 130, static_cast<std::uint16_t>(tail.size()));
        }
        std::vector<std::uint8_t> d = ReplyDatagram(RSP_DISCOVER, router.mac, DestinationOf(a.shape), STATUS_OK, p);
        PutU32(d, 4, version);
        return d;
    }

    std::vector<std::uint8_t> ReplyFrom(const Router& router, std::uint8_t code, const ReplyArgs& a) const {
        if (code == RSP_DISCOVER) return DiscoveryFrom(router, a);
        std::vector<std::uint8_t> d =
            ReplyDatagram(code, router.mac, DestinationOf(a.shape), StatusOf(a.status), PayloadOf(a.payload));
        PutU32(d, 4, VersionOf(a.shape));
        return d;
    }

    // The reply to the last request sent, from the router it named.
    void Answer(const ReplyArgs& a) {
        if (udp_.sent.empty()) return;
        const std::vector<std::uint8_t>& request = udp_.sent.back().bytes;
        const MacAddress to = MacAt(request, 22);
        const Router router = to == ALL_STATIONS ? PoolRouter(a.router) : RouterByMac(to);
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
