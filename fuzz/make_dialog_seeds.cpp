// Writes the seed corpus of the whole-dialog fuzzer, and a list of its files
// for libFuzzer's -seed_inputs=@LIST. Each seed is a real scenario told as a
// script; before it is written it is run through the driver, and the status
// text it ends with must be the one the scenario is named for, so a seed
// never silently stops reaching its state.
//
// usage: zvr_make_dialog_seeds SEED_DIR LIST_FILE

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BoundedFormat.h"
#include "Catalogue.h"
#include "DialogDriver.h"
#include "DialogScript.h"
#include "DialogSurface.h"
#include "ResourceIds.h"
#include "ports/TcpPort.h"

namespace {

constexpr std::uint16_t IMAGE_SIZE = 2600;  // three blocks, the last one short
constexpr int SEARCH_TICKS = 93;            // three sends and the last wait
constexpr int STATUS_QUERY_TICKS = 93;
constexpr int MAIN_RESTART_TICKS = 660;

std::string Msg(unsigned n) { return CatalogueText(n); }
std::string Composed(unsigned n, FormatArg arg) {
    char text[STATUS_TEXT_SIZE];
    const std::string format = CatalogueText(n);
    FormatText(text, sizeof text, format, {arg});
    return text;
}
std::string Sub(unsigned n, unsigned inserted) { return Composed(n, FormatArg::Str(CatalogueText(inserted))); }
std::string Num(unsigned n, std::int32_t value) { return Composed(n, FormatArg::Num(value)); }

// Router r's discovery reply: identity choice, capability byte.
ReplyArgs RouterArgs(std::uint8_t router, int identity = 0, std::uint8_t caps = 0x01) {
    ReplyArgs a;
    a.router = router;
    a.shape = IdentityShape(identity);
    a.caps = caps;
    return a;
}
ReplyArgs Status(std::uint8_t status, std::uint8_t payload = 0) {
    ReplyArgs a;
    a.status = status;
    a.payload = payload;
    return a;
}

// The dialog opens, router 0 answers the search, the search runs out.
ScriptWriter Searched(const ReplyArgs& router = RouterArgs(0), std::uint16_t imageSize = IMAGE_SIZE) {
    ScriptWriter w(0, imageSize);
    w.Discovery(router).Ticks(SEARCH_TICKS);
    return w;
}

// OK on line 0, Yes, the router's fresh discovery reply and its answer to
// the authorisation request.
ScriptWriter& Authorised(ScriptWriter& w, const ReplyArgs& router, std::uint8_t status = CHOOSE_OK) {
    return w.Ok(0, "secret", true).Answer(router).Answer(Status(status));
}

// The connection, write-ready events until the image is through, and the
// router's answer to the status query.
ScriptWriter& Transferred(ScriptWriter& w, std::uint8_t status = CHOOSE_OK) {
    return w.Tcp(KIND_CONNECT).Writes(8).Answer(Status(status));
}

struct Seed {
    std::string name;
    std::vector<std::uint8_t> script;
    std::string expected;  // the last status text
};

std::vector<Seed> Seeds() {
    std::vector<Seed> seeds;
    auto add = [&](const std::string& name, const ScriptWriter& w, const std::string& expected) {
        seeds.push_back({name, w.bytes, expected});
    };
    const ReplyArgs r0 = RouterArgs(0);

    {
        ScriptWriter w = Searched();
        Authorised(w, r0);
        Transferred(w).Answer(r0);
        add("update-main-unit", w, Msg(MSG_UPDATE_DONE));
    }
    {
        const ReplyArgs ext = RouterArgs(0, 0, 0x05);
        ScriptWriter w = Searched(ext);
        Authorised(w, ext);
        Transferred(w).Answer(ext);
        add("update-extended-request", w, Msg(MSG_UPDATE_DONE));
    }
    {
        // Blocks taken in pieces, a refused send and an empty one among them.
        ScriptWriter w = Searched();
        Authorised(w, r0).SendLimits({300, -1, 0, 600, 124, 1024});
        w.Tcp(KIND_CONNECT).Writes(12).Answer(Status(CHOOSE_OK)).Answer(r0);
        add("update-partial-sends", w, Msg(MSG_UPDATE_DONE));
    }
    {
        ScriptWriter w = Searched(r0, 0);
        Authorised(w, r0).Tcp(KIND_CONNECT).Answer(Status(CHOOSE_OK)).Answer(r0);
        add("update-empty-image", w, Msg(MSG_UPDATE_DONE));
    }
    {
        // The router comes back with other firmware.
        ScriptWriter w = Searched();
        Authorised(w, r0);
        Transferred(w).Answer(RouterArgs(0, 2));
        add("update-not-applied", w, Msg(MSG_UPDATE_NOT_APPLIED));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0);
        Transferred(w).Ticks(MAIN_RESTART_TICKS + 10);
        add("restart-not-seen", w, Msg(MSG_RESTART_NOT_SEEN));
    }
    {
        // A search with module replies: router 0 gives its ISDN module text
        // after an ignored reply, router 1 refuses (and is dropped), router 2
        // needs no query, router 3 does not answer; then router 0's module
        // firmware goes out and the module comes back with the new text.
        const ReplyArgs isdn = RouterArgs(0, 0, 0x0C), refusing = RouterArgs(1, 0, 0x0C),
                        mainUnit = RouterArgs(2, 1, 0x01), silent = RouterArgs(4, 4, 0x0C);
        ScriptWriter w(CONFIG_MODULE_TABLE, IMAGE_SIZE);
        w.Discovery(isdn).Discovery(refusing).Discovery(mainUnit).Discovery(silent).Ticks(SEARCH_TICKS);
        w.Answer(Status(CHOOSE_BAD_PASSWORD)).Answer(Status(CHOOSE_OK, 3));  // router 0
        w.Answer(Status(CHOOSE_FAILED));                                     // router 1
        w.Reply(CODE_MODULE_INFO, Status(CHOOSE_OK, 2));  // router 0 again, not the one asked
        w.Ticks(SEARCH_TICKS);                            // router 4 times out
        w.List(0);
        Authorised(w, isdn);
        Transferred(w).Answer(Status(CHOOSE_OK, 1));
        add("module-search-and-update", w, Msg(MSG_UPDATE_DONE));
    }
    {
        const ReplyArgs modem = RouterArgs(3, 4, 0x0C);
        ScriptWriter w(CONFIG_MODULE_TABLE, IMAGE_SIZE);
        w.Discovery(modem).Ticks(SEARCH_TICKS).Answer(Status(CHOOSE_OK, 2));
        Authorised(w, modem);
        Transferred(w).Answer(Status(CHOOSE_OK, 3));
        add("modem-module-update-not-applied", w, Msg(MSG_UPDATE_NOT_APPLIED));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0).Tcp(KIND_CONNECT).Tcp(KIND_WRITE, 10050).Answer(Status(CHOOSE_FAILED));
        add("failed-write", w, Msg(MSG_DOWNLOAD_ERROR_ABORTED));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0).Tcp(KIND_CONNECT).TransferTimer().Ticks(STATUS_QUERY_TICKS);
        add("block-timeout-no-status", w, Sub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0).Tcp(KIND_CONNECT).Writes(1).Research().LateTcp(TCP_WRITE).Answer(Status(CHOOSE_FAILED));
        add("abort", w, Msg(MSG_DOWNLOAD_ABORTED));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0).Tcp(KIND_CONNECT).Research().Answer(Status(CHOOSE_OK)).Answer(r0);
        add("abort-but-updated", w, Msg(MSG_UPDATE_DONE));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0, CHOOSE_BAD_PASSWORD);
        add("bad-password", w, Msg(MSG_BAD_PASSWORD));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0, CHOOSE_FAILED);
        add("image-refused", w, Msg(MSG_IMAGE_NOT_FOR_ROUTER));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0);
        Transferred(w, 5);
        add("status-other-code", w, Num(MSG_INTERNAL_ERROR, 5));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0).Tcp(KIND_CONNECT, 10061);
        add("connect-refused", w, Sub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER));
    }
    {
        ScriptWriter w = Searched();
        Authorised(w, r0).Tcp(KIND_CONNECT).Tcp(KIND_CLOSE);
        add("router-closes", w, Sub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER));
    }
    {
        ScriptWriter w = Searched();
        w.Ok(0, "secret", true).Ticks(SEARCH_TICKS);
        add("prepare-timeout", w, Sub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER));
    }
    {
        ScriptWriter w = Searched();
        w.Ok(0, "secret", true).Answer(r0).Ticks(SEARCH_TICKS);
        add("authorisation-timeout-other-subnet", w, Sub(MSG_NO_COMMUNICATION, MSG_HINT_OTHER_SUBNET));
    }
    {
        const ReplyArgs near = RouterArgs(3);
        ScriptWriter w = Searched(near);
        w.Ok(0, "secret", true).Answer(near).Ticks(SEARCH_TICKS);
        add("authorisation-timeout-same-subnet", w, Sub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER));
    }
    {
        ScriptWriter w = Searched(RouterArgs(0, 0, 0x03));
        w.Ok(0, "secret", true);
        add("router-already-updating", w, Msg(MSG_ALREADY_UPDATING));
    }
    {
        ScriptWriter w = Searched();
        w.Ok(0, "12345678", false);
        add("answer-no", w, Num(MSG_ROUTERS_FOUND, 1));
    }
    {
        // While the question is open a router answers, a stray timer fires
        // and a notification finds nothing to read.
        ScriptWriter w = Searched();
        w.Ok(0, "secret", true, 3).Discovery(RouterArgs(1)).Op(OP_STRAY_TIMER).U8(9).Op(OP_EMPTY_NOTICE).U8(1);
        w.Answer(r0).Answer(Status(CHOOSE_OK));
        Transferred(w).Answer(r0);
        add("events-during-the-question", w, Msg(MSG_UPDATE_DONE));
    }
    {
        // The list box takes one line of two; the second router has none.
        ScriptWriter w(0, IMAGE_SIZE);
        w.Op(OP_REFUSE_LINES).U8(2).Discovery(r0).Discovery(RouterArgs(1)).Ticks(SEARCH_TICKS);
        Authorised(w, r0);
        Transferred(w).Answer(r0);
        add("list-box-refuses-a-line", w, Msg(MSG_UPDATE_DONE));
    }
    {
        // The tick cannot be started for the prepare exchange: no resends,
        // but the reply still comes through.
        ScriptWriter w = Searched();
        w.Op(OP_REFUSE_TIMERS).U8(1);
        Authorised(w, r0);
        Transferred(w).Answer(r0);
        add("tick-refused", w, Msg(MSG_UPDATE_DONE));
    }
    {
        // A long identity without a terminator and a long module text in the
        // details; the router renamed by its fresh reply, its line unchanged.
        ReplyArgs longIdentity = RouterArgs(0, LONG_IDENTITY, 0x0C);
        ScriptWriter w(CONFIG_MODULE_TABLE, IMAGE_SIZE);
        w.Discovery(longIdentity).Ticks(SEARCH_TICKS).Answer(Status(CHOOSE_OK, PAYLOAD_LONG)).List(0);
        longIdentity.payload = 1;
        w.Ok(0, "secret", true).Answer(longIdentity).Ticks(SEARCH_TICKS);
        add("long-texts-and-a-rename", w, Sub(MSG_NO_COMMUNICATION, MSG_HINT_OTHER_SUBNET));
    }
    {
        ScriptWriter w(0, IMAGE_SIZE);
        w.Research().Research().Ticks(SEARCH_TICKS);
        add("cancel-and-search-again", w, Msg(MSG_NO_ROUTER_FOUND));
    }
    {
        // What the endpoint drops, and a router heard of during the update.
        ScriptWriter w = Searched();
        w.Op(OP_RAW_DATAGRAM).U16(3).U8(1).U8(2).U8(3);
        w.Reply(CODE_RAW, Status(CHOOSE_OK));
        ReplyArgs elsewhere = Status(CHOOSE_OK);
        elsewhere.shape = TO_OTHER;
        w.Reply(CODE_STATUS, elsewhere);
        Authorised(w, r0);
        w.Tcp(KIND_CONNECT).Writes(8).Discovery(RouterArgs(4)).Answer(Status(CHOOSE_OK)).Discovery(RouterArgs(4)).Answer(r0);
        add("noise-and-a-newcomer", w, Msg(MSG_UPDATE_DONE));
    }
    {
        ScriptWriter w(CONFIG_NO_ADAPTER, IMAGE_SIZE);
        w.Discovery(r0).Ticks(SEARCH_TICKS);
        Authorised(w, r0);
        Transferred(w).Answer(r0).Cancel();
        add("random-station-and-close", w, Msg(MSG_UPDATE_DONE));
    }
    {
        ScriptWriter w(CONFIG_SOCKET_FAILS, IMAGE_SIZE);
        w.Ticks(SEARCH_TICKS);
        add("no-socket", w, Msg(MSG_NO_ROUTER_FOUND));
    }
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SEED_DIR LIST_FILE\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    std::string list;
    int failures = 0;
    for (const Seed& seed : Seeds()) {
        const DialogOutcome outcome = RunDialogScript(seed.script, false);
        const std::string last = outcome.statusHistory.empty() ? std::string() : outcome.statusHistory.back();
        if (last != seed.expected) {
            std::fprintf(stderr, "seed %s does not end as it should; rerun it with ZVR_FUZZ_TRACE=1\n",
                         seed.name.c_str());
            ++failures;
        }
        const std::filesystem::path path = dir / seed.name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(seed.script.data()), static_cast<std::streamsize>(seed.script.size()));
        list += (list.empty() ? "" : ",") + path.string();
    }
    if (failures != 0) return 1;
    std::ofstream(argv[2]) << list;
    return 0;
}
