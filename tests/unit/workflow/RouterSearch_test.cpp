#include "workflow/RouterSearch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "Catalogue.h"
#include "CoreRig.h"
#include "ResourceIds.h"
#include "RouterReplies.h"

namespace {

// A table in which the image is module firmware for some routers.
const ModelRow kModuleRows[] = {
    {"ISDN-RN8 ", 60, "ISDN 2.00", "2.00", 0x00010008, 0x110, 0},    // ISDN-module image: selector 0
    {"MDM-RN8 ", 60, "MDM 3.00", "3.00", 0x00020008, 0x110, 0},      // modem-module image: selector 1
    {"VQT-RN8 ", 60, "VQT-RN8 1.10", "1.10", 0x00000008, 0x110, 0},  // main-unit image: never asked
    {"ODD-RN8 ", 60, "ODD 1.00", "1.00", 0x00030008, 0x110, 0},      // another class: never asked
};

constexpr std::uint16_t CAP_UPDATABLE = 0x0100, CAP_EXT_UPDATE = 0x0400, CAP_MODULE_SLOT = 0x0800;
constexpr std::uint16_t CAP_MODULE_ROUTER = CAP_UPDATABLE | CAP_EXT_UPDATE | CAP_MODULE_SLOT;

SimRouter Router(std::uint32_t n, const char* identity, std::uint16_t capabilities) {
    SimRouter r = NumberedRouter(n);
    r.identity = identity;
    r.capabilities = capabilities;
    return r;
}
SimRouter IsdnRouter(std::uint32_t n) { return Router(n, "ISDN-RN8 1.00", CAP_MODULE_ROUTER); }
SimRouter ModemRouter(std::uint32_t n) { return Router(n, "MDM-RN8 1.00", CAP_MODULE_ROUTER); }
SimRouter MainRouter(std::uint32_t n) { return Router(n, "VQT-RN8 1.10", CAP_UPDATABLE | CAP_MODULE_SLOT); }

class SearchTest : public ::testing::Test {
protected:
    explicit SearchTest(std::span<const ModelRow> rows = kModuleRows) : rig(rows) {}

    CoreRig rig;
    RouterSearch& search = rig.search;
    ExchangeEngine& engine = rig.engine;

    // A whole discovery: the replies arrive during the first wait, and the
    // wait after the third send runs out at tick 93.
    void Discover(const std::vector<SimRouter>& routers) {
        search.StartSearch();
        for (const SimRouter& r : routers) rig.Arrive(DiscoveryReply(r, rig.Station()));
        Ticks(93);
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) ASSERT_TRUE(rig.Tick()) << "the tick stopped early, after " << i;
    }
    void ModuleReply(const MacAddress& from, std::uint32_t status, std::string_view text = "",
                     std::uint8_t code = RSP_MODULE_INFO) {
        const std::vector<std::uint8_t> payload(text.begin(), text.end());
        rig.Arrive(ReplyDatagram(code, from, rig.Station(), status, payload));
    }
    // (destination, selector) of every REQ_MODULE_INFO sent.
    std::vector<std::pair<MacAddress, std::uint32_t>> ModuleQueries() const {
        std::vector<std::pair<MacAddress, std::uint32_t>> queries;
        for (const SentDatagram& d : rig.udp.sent) {
            const SentRequest r = ParseRequest(d.bytes);
            if (r.code == REQ_MODULE_INFO) queries.emplace_back(r.destination, r.argument);
        }
        return queries;
    }
    std::string Status() const { return Utf8(rig.dialog.Status()); }
    // Published: the engine idle, the inputs enabled, the endpoint no longer listened to.
    void ExpectPublished(const std::vector<std::string>& lines) {
        EXPECT_EQ(rig.dialog.lines, lines);
        EXPECT_FALSE(engine.IsExchangeBusy());
        EXPECT_EQ(engine.tickTimerId, 0u);
        EXPECT_TRUE(rig.surface.InputsEnabled());
        EXPECT_FALSE(rig.udp.armed);
        EXPECT_EQ(rig.devices.Count(), lines.size());
    }
};

class BuiltInSearchTest : public SearchTest {
protected:
    BuiltInSearchTest() : SearchTest(ModelTable::BuiltInRows()) {}
};

// ---------------------------------------------------------------------------
// Discovery.

TEST_F(BuiltInSearchTest, ListsRoutersInArrivalOrderWithoutModuleQueries) {
    SimRouter stranger = NumberedRouter(3);
    stranger.identity = "XYZ-1";  // fits no row
    search.StartSearch();
    EXPECT_EQ(Status(), "ネットワーク上のネトリアを検索しています。");
    EXPECT_EQ(rig.dialog.progressMax, 90);
    rig.Arrive(DiscoveryReply(NumberedRouter(2), rig.Station()));
    rig.Arrive(DiscoveryReply(stranger, rig.Station()));
    Ticks(40);
    rig.Arrive(DiscoveryReply(NumberedRouter(1), ALL_STATIONS));
    rig.Arrive(DiscoveryReply(NumberedRouter(2), rig.Station()));  // answers every send
    rig.Arrive(ReplyDatagram(RSP_STATUS, NumberedRouter(1).mac, rig.Station(), STATUS_OK));
    Ticks(53);

    ExpectPublished({"Router 2", "Router 1"});
    EXPECT_EQ(Status(), "2台のネトリアが見つかりました。");
    EXPECT_TRUE(ModuleQueries().empty());
    EXPECT_EQ(rig.udp.sent.size(), 3u);  // the three discovery broadcasts
    // Three records when the module phase began: the bar jumps to 3 x 90.
    EXPECT_EQ(rig.dialog.progressMax, 270);
    EXPECT_EQ(rig.dialog.progressPos, 270);
    EXPECT_EQ(rig.queue.Count(), 1u) << "what is not a discovery reply stays queued";
}

TEST_F(BuiltInSearchTest, NoRouterAnswers) {
    Discover({});
    ExpectPublished({});
    EXPECT_EQ(Status(), "ネトリアは検出されませんでした。");
    EXPECT_EQ(rig.dialog.progressMax, 0);
    EXPECT_TRUE(ModuleQueries().empty());
}

TEST_F(BuiltInSearchTest, CancelDuringDiscoveryListsTheRoutersFoundSoFar) {
    search.StartSearch();
    rig.Arrive(DiscoveryReply(NumberedRouter(1), rig.Station()));
    Ticks(40);
    rig.Arrive(DiscoveryReply(NumberedRouter(2), rig.Station()));
    engine.CancelExchange();
    ExpectPublished({"Router 1", "Router 2"});
    EXPECT_EQ(Status(), "2台のネトリアが見つかりました。");
}

// ---------------------------------------------------------------------------
// The module phase.

TEST_F(SearchTest, ModuleRoutersAreAskedOneAfterTheOther) {
    const SimRouter isdn = IsdnRouter(1), main = MainRouter(2), modem = ModemRouter(3);
    const SimRouter noSlot = Router(4, "ISDN-RN8 1.00", CAP_UPDATABLE | CAP_EXT_UPDATE);
    const SimRouter odd = Router(5, "ODD-RN8 1.00", CAP_MODULE_ROUTER);
    Discover({isdn, main, modem, noSlot, odd, isdn});

    EXPECT_EQ(rig.devices.Count(), 5u);
    EXPECT_EQ(Status(), "個別機器情報を取得しています。");
    EXPECT_EQ(rig.dialog.progressMax, 5 * 90);
    EXPECT_EQ(ModuleQueries(), (std::vector<std::pair<MacAddress, std::uint32_t>>{{isdn.mac, 0}}));
    EXPECT_TRUE(engine.IsExchangeBusy());

    // A 300-byte module text: the first 256 bytes are kept. The next router
    // without a query only moves the bar; the modem router is asked at once.
    std::string text(300, 'x');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    Ticks(10);
    ModuleReply(isdn.mac, STATUS_OK, text);
    EXPECT_EQ(std::memcmp(rig.devices.FindDeviceByMac(isdn.mac)->moduleInfo, text.data(), MODULE_INFO_SIZE), 0);
    EXPECT_EQ(ModuleQueries().size(), 2u);
    EXPECT_EQ(ModuleQueries().back(), std::make_pair(modem.mac, 1u));
    EXPECT_EQ(rig.dialog.progressPos, 180);
    EXPECT_FALSE(rig.surface.InputsEnabled());

    // STATUS_FAILED drops the modem router; the last two need no query.
    ModuleReply(modem.mac, STATUS_FAILED);
    EXPECT_EQ(ModuleQueries().size(), 2u);
    ExpectPublished({"Router 1", "Router 2"});
    EXPECT_EQ(rig.dialog.progressPos, 6 * 90) << "past the range: a full bar";
    EXPECT_EQ(rig.devices.FindDeviceByMac(modem.mac), nullptr);
}

struct IgnoredReply {
    const char* name;
    std::uint8_t code;
    bool fromCurrentRouter;
    std::uint32_t status;
};

void PrintTo(const IgnoredReply& c, std::ostream* os) { *os << c.name; }

class IgnoredModuleReplyTest : public SearchTest, public ::testing::WithParamInterface<IgnoredReply> {};

TEST_P(IgnoredModuleReplyTest, QueryRunsOnToItsTimeOut) {
    const IgnoredReply& c = GetParam();
    const SimRouter isdn = IsdnRouter(1), modem = ModemRouter(2);
    const MacAddress stranger = NumberedRouter(99).mac;
    Discover({isdn, modem});

    Ticks(5);
    ModuleReply(c.fromCurrentRouter ? isdn.mac : stranger, c.status, "ignored", c.code);
    EXPECT_EQ(ModuleQueries().size(), 1u);
    Ticks(88);  // the router is asked again at ticks 31 and 62 and passed over at 93
    const auto queries = ModuleQueries();
    ASSERT_EQ(queries.size(), 4u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(queries[i], std::make_pair(isdn.mac, 0u)) << i;
    EXPECT_EQ(queries[3], std::make_pair(modem.mac, 1u));
    EXPECT_EQ(rig.dialog.progressPos, 90);
    const DeviceRecord* kept = rig.devices.FindDeviceByMac(isdn.mac);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->moduleInfo[0], 0);
    Ticks(1);
    EXPECT_EQ(rig.dialog.progressPos, 91) << "the next router counts from its own segment's start";

    // Without a module text it is not offered for module firmware.
    ModuleReply(modem.mac, STATUS_OK, "MDM 2.50");
    ExpectPublished({"Router 2"});
}

INSTANTIATE_TEST_SUITE_P(Replies, IgnoredModuleReplyTest,
                         ::testing::Values(IgnoredReply{"BadPassword", RSP_MODULE_INFO, true, STATUS_BAD_PASSWORD},
                                           IgnoredReply{"OtherStatus", RSP_MODULE_INFO, true, 5},
                                           IgnoredReply{"FromAnotherRouter", RSP_MODULE_INFO, false, STATUS_OK},
                                           IgnoredReply{"OtherReplyCode", RSP_STATUS, true, STATUS_OK}),
                         [](const auto& tested) { return std::string(tested.param.name); });

TEST_F(SearchTest, DecidingReplyMovesOnToTheNextRouterAtOnce) {
    for (const std::uint32_t status : {STATUS_OK, STATUS_FAILED}) {
        SCOPED_TRACE(status);
        rig.devices.ClearDevices();
        rig.udp.sent.clear();
        const SimRouter isdn = IsdnRouter(1), modem = ModemRouter(2);
        Discover({isdn, modem});
        Ticks(5);
        ModuleReply(isdn.mac, status, "ISDN 1.00");
        EXPECT_EQ(ModuleQueries().back(), std::make_pair(modem.mac, 1u));
        EXPECT_EQ(rig.dialog.progressPos, 90);
        EXPECT_EQ(rig.devices.FindDeviceByMac(isdn.mac) != nullptr, status == STATUS_OK);

        EXPECT_EQ(rig.TickUntilIdle(), 93);  // the modem router never answers
        if (status == STATUS_OK) {
            ExpectPublished({"Router 1"});
            EXPECT_EQ(rig.devices.FirstDevice()->ModuleInfo(), "ISDN 1.00");
        } else {
            ExpectPublished({});
        }
    }
}

TEST_F(SearchTest, CancelDuringTheModulePhasePublishesWithAFullBar) {
    const SimRouter isdn = IsdnRouter(1), main = MainRouter(2), modem = ModemRouter(3);
    Discover({isdn, main, modem});
    Ticks(20);
    engine.CancelExchange();

    EXPECT_EQ(rig.dialog.progressMax, 1);
    EXPECT_EQ(rig.dialog.progressPos, 1);
    ExpectPublished({"Router 2"});  // the module routers have no module text
    EXPECT_EQ(Status(), "1台のネトリアが見つかりました。");
    EXPECT_EQ(ModuleQueries().size(), 1u);
}

// ---------------------------------------------------------------------------
// Lists too long for segments of 90 on a 16-bit bar.

TEST(ModuleSegmentWidth, WidestSegmentThatKeepsTheBarFromWrapping) {
    constexpr std::size_t kTop = 65535, kQuerySpan = 93;
    for (std::size_t n = 0; n <= 70000; ++n) {
        const std::size_t w = ModuleSegmentWidth(n);
        const auto fits = [n](std::size_t width) {
            return (n + 1) * width <= kTop && (n < 1 || (n - 1) * width + kQuerySpan <= kTop);
        };
        ASSERT_TRUE(fits(w)) << n;
        ASSERT_TRUE(w == 90 || !fits(w + 1)) << n;
        ASSERT_EQ(w == 90, n <= 727) << n;
    }
}

class LongListTest : public SearchTest, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(LongListTest, BarNeverWrapsAndEndsFull) {
    const auto [routers, lastAnswers] = GetParam();
    // Every router but the last needs no query.
    for (int i = 0; i < routers; ++i) {
        DeviceRecord* r = rig.devices.NewDevice();
        std::strcpy(r->identity, i + 1 < routers ? "VQT-RN8 1.10" : "ISDN-RN8 1.00");
        r->subCode = 60;
        r->flags = i + 1 < routers ? DEV_UPDATABLE : DEV_EXT_UPDATE | DEV_MODULE_SLOT;
        r->mac = NumberedRouter(static_cast<std::uint32_t>(i)).mac;
    }
    const int width = ModuleSegmentWidth(static_cast<std::size_t>(routers));
    const int range = routers * width;
    const int lastStart = (routers - 1) * width;

    EXPECT_EQ(search.StartModuleQueries(), 0);
    EXPECT_EQ(rig.dialog.progressMax, range);
    EXPECT_EQ(rig.dialog.progressPos, lastStart);
    if (lastAnswers) {
        Ticks(5);
        ModuleReply(NumberedRouter(static_cast<std::uint32_t>(routers - 1)).mac, STATUS_OK, "ISDN 1.00");
    } else {
        for (int tick = 1; engine.IsExchangeBusy(); ++tick) {
            ASSERT_TRUE(rig.Tick());
            ASSERT_GE(rig.dialog.progressPos, lastStart) << "tick " << tick;
        }
    }
    EXPECT_FALSE(engine.IsExchangeBusy());
    EXPECT_GE(rig.dialog.progressPos, range);
    EXPECT_EQ(rig.dialog.lines.size(), static_cast<std::size_t>(lastAnswers ? routers : routers - 1));
}

INSTANTIATE_TEST_SUITE_P(Routers, LongListTest,
                         ::testing::Combine(::testing::Values(727, 728, 800, 2000), ::testing::Bool()));

}  // namespace
