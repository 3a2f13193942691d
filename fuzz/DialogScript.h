// The input of the whole-dialog fuzzer: a few configuration bytes, then a
// run of operations, each one byte (taken modulo OP_COUNT) and its fixed
// arguments. Read front to back; a short input reads as zeros and ends there.
//
//   [0]    u8   config: bit 0 the module-firmware ModelTable, bit 1 no
//               adapter address (random station); high nibble 0xF: the
//               socket library fails, 0xE: the UDP socket fails, 0xD:
//               broadcasts are refused
//   [1:3)  u16  image size, modulo MAX_IMAGE_SIZE + 1
//   [3:)        operations
//
// The seed generator writes scripts with ScriptWriter, so the layout lives
// in this one file.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

constexpr std::uint32_t MAX_IMAGE_SIZE = 6144;

enum ConfigBits : std::uint8_t {
    CONFIG_MODULE_TABLE = 0x01,
    CONFIG_NO_ADAPTER = 0x02,
    CONFIG_LIBRARY_FAILS = 0xF0,
    CONFIG_SOCKET_FAILS = 0xE0,
    CONFIG_BROADCAST_REFUSED = 0xD0,
};

enum DialogOp : std::uint8_t {
    OP_TICK,              // the tick timer's id fires once, running or not
    OP_TICKS,             // u8 n: the running tick timer fires up to n + 1 times
    OP_TRANSFER_TIMER,    // the transfer timer's id fires once, running or not
    OP_STRAY_TIMER,       // u8 id: a timer event with any id
    OP_RAW_DATAGRAM,      // u16 length (modulo 1601), then that many bytes: arrives
    OP_DISCOVERY,         // ReplyArgs: a discovery reply arrives
    OP_REPLY,             // u8 code choice, ReplyArgs: a reply arrives
    OP_ANSWER,            // ReplyArgs: the reply to the last request sent arrives
    OP_EMPTY_NOTICE,      // u8 bit 0: a receive error; else nothing to read
    OP_OK,                // u8 line, u8 length + password, u8 answer, u8 nested events
    OP_RESEARCH,          // IDC_RESEARCH
    OP_CANCEL,            // IDCANCEL (the close box too)
    OP_LIST,              // u8 line: a list notification, selecting it when enabled
    OP_OTHER_COMMAND,     // u16 id: a command from another control
    OP_TCP_EVENT,         // u8 kind (connect, write, close), u16 error: a notification
    OP_WRITES,            // u8 n: up to n + 1 write-ready notifications
    OP_LATE_TCP_EVENT,    // u16 kind, u16 error: a late notification outside a transfer
    OP_SEND_LIMITS,       // u8 count (modulo 8), count × u16 (0xFFFF fails): what sends take
    OP_TCP_CREATE_FAILS,  // u8 bit 0: whether socket creation fails from now on
    OP_REFUSE_TIMERS,     // u8 n: the next n % 4 timer starts are refused
    OP_REFUSE_LINES,      // u8 v: the list box refuses lines from (v % 5) - 1 on
    OP_COUNT
};

// OP_REPLY's code choice, modulo 6; the last takes the byte itself as the code.
enum ReplyCodeChoice : std::uint8_t {
    CODE_UPDATE,
    CODE_UPDATE_EXT,
    CODE_STATUS,
    CODE_MODULE_INFO,
    CODE_DISCOVER,
    CODE_RAW,
};

// OP_TCP_EVENT's kind, modulo 3.
enum TcpKindChoice : std::uint8_t { KIND_CONNECT, KIND_WRITE, KIND_CLOSE };

// Who answers, from what, with what: 10 bytes.
//   router    u8   modulo 6: routers 0 to 4 of the segment, 5 a stranger
//   shape     u8   bits 0-2 version (0-3: 0x00010003, 4: 0x00010000,
//                  5: 0x00010001, 6: 0x00010002, 7: 0x00020000);
//                  bits 3-4 destination (0, 3: this station, 1: all
//                  stations, 2: another station); bits 5-7 the identity
//   caps      u8   the capability word's high byte: 0x01 updatable,
//                  0x02 updating, 0x04 extended update, 0x08 module slot
//   status    u8   0 STATUS_OK, 1 STATUS_FAILED, 2 STATUS_BAD_PASSWORD,
//                  any other value the status itself
//   payload   u8   modulo 8, a module text (PAYLOADS); for a discovery
//                  reply anything but 0 renames the router
//   subCode   u8   below 0xF0: 60; else the value - 0xF0
//   key       u32
struct ReplyArgs {
    std::uint8_t router = 0;
    std::uint8_t shape = 0;
    std::uint8_t caps = 0x01;
    std::uint8_t status = 0;
    std::uint8_t payload = 0;
    std::uint8_t subCode = 0;
    std::uint32_t key = 0x12345678;
};

enum StatusChoice : std::uint8_t { CHOOSE_OK, CHOOSE_FAILED, CHOOSE_BAD_PASSWORD };

constexpr int ROUTERS = 5;        // routers 0 to 4; number 5 is the stranger
constexpr std::uint8_t TO_ALL = 1 << 3;
constexpr std::uint8_t TO_OTHER = 2 << 3;
constexpr std::uint8_t IdentityShape(int identity) { return static_cast<std::uint8_t>(identity << 5); }

// Identities a discovery reply can carry (shape bits 5-7). The last is a
// long identity of 300 bytes without a terminator (versions from 0x00010001).
constexpr std::string_view IDENTITIES[8] = {
    "VQT-RN8 1.10", "VQT-RN8", "VQT-RN8 1.00", "VQT^RN8", "VQT-RM", "ISDN-TA 2.10", "OTHER-1", "",
};
constexpr int LONG_IDENTITY = 7;

// Module texts (payload choice).
constexpr std::string_view PAYLOADS[8] = {
    "", "ISDN-TA 2.10", "MODEM 3.00", "ISDN-TA 2.00", "", "VQT-RN8 1.10", "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", "",
};
constexpr int PAYLOAD_LONG = 4;  // 300 bytes of 'M'
constexpr int PAYLOAD_NUL = 7;   // a single NUL byte

// Writes scripts in the layout above.
class ScriptWriter {
public:
    ScriptWriter(std::uint8_t config, std::uint16_t imageSize) {
        U8(config);
        U16(imageSize);
    }

    ScriptWriter& Op(DialogOp op) { return U8(op); }
    ScriptWriter& Tick() { return Op(OP_TICK); }
    // n ticks of the running tick timer, in runs of at most 256.
    ScriptWriter& Ticks(int n) {
        for (; n > 0; n -= 256) Op(OP_TICKS).U8(static_cast<std::uint8_t>((n > 256 ? 256 : n) - 1));
        return *this;
    }
    ScriptWriter& TransferTimer() { return Op(OP_TRANSFER_TIMER); }
    ScriptWriter& Discovery(const ReplyArgs& a) { return Op(OP_DISCOVERY).Args(a); }
    ScriptWriter& Reply(ReplyCodeChoice code, const ReplyArgs& a) { return Op(OP_REPLY).U8(code).Args(a); }
    ScriptWriter& Answer(const ReplyArgs& a = {}) { return Op(OP_ANSWER).Args(a); }
    // line: the selected line, or 0xFF for none.
    ScriptWriter& Ok(std::uint8_t line, std::string_view password, bool yes, std::uint8_t nested = 0) {
        Op(OP_OK).U8(line).U8(static_cast<std::uint8_t>(password.size()));
        for (char c : password) U8(static_cast<std::uint8_t>(c));
        return U8(yes ? 1 : 0).U8(nested);
    }
    ScriptWriter& Research() { return Op(OP_RESEARCH); }
    ScriptWriter& Cancel() { return Op(OP_CANCEL); }
    ScriptWriter& List(std::uint8_t line) { return Op(OP_LIST).U8(line); }
    ScriptWriter& Tcp(TcpKindChoice kind, std::uint16_t error = 0) { return Op(OP_TCP_EVENT).U8(kind).U16(error); }
    ScriptWriter& Writes(int n) {
        for (; n > 0; n -= 256) Op(OP_WRITES).U8(static_cast<std::uint8_t>((n > 256 ? 256 : n) - 1));
        return *this;
    }
    ScriptWriter& LateTcp(std::uint16_t kind, std::uint16_t error = 0) { return Op(OP_LATE_TCP_EVENT).U16(kind).U16(error); }
    // -1 fails a send.
    ScriptWriter& SendLimits(std::initializer_list<int> limits) {
        Op(OP_SEND_LIMITS).U8(static_cast<std::uint8_t>(limits.size()));
        for (int limit : limits) U16(limit < 0 ? 0xFFFF : static_cast<std::uint16_t>(limit));
        return *this;
    }

    ScriptWriter& U8(std::uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    ScriptWriter& U16(std::uint16_t v) { return U8(static_cast<std::uint8_t>(v)).U8(static_cast<std::uint8_t>(v >> 8)); }
    ScriptWriter& U32(std::uint32_t v) { return U16(static_cast<std::uint16_t>(v)).U16(static_cast<std::uint16_t>(v >> 16)); }

    std::vector<std::uint8_t> bytes;

private:
    ScriptWriter& Args(const ReplyArgs& a) {
        return U8(a.router).U8(a.shape).U8(a.caps).U8(a.status).U8(a.payload).U8(a.subCode).U32(a.key);
    }
};
