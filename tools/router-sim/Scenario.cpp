// The scenario file:
//
//   # a comment (whole lines only)
//   [router r1]
//   mac = 00:80:6d:00:00:01
//   address = 192.168.11.10
//   short_identity = "VQT-RN8"        <- quotes keep outer spaces; \" \\ \xHH inside
//   drop_first.discover = 1           <- a fault for one kind of reply, or for `all`
//
// Every key is described in README.md beside this file.
#include "Scenario.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>

namespace sim {

namespace {

// A wrong value; the reader adds the file, the line and the key.
struct BadValue {
    std::string what;
};

struct Entry {
    std::string key;
    std::string value;
    int line;
};

struct Section {
    std::string label;
    int line;
    std::vector<Entry> entries;
};

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string unquote(const std::string& raw) {
    if (raw.empty() || raw.front() != '"') return raw;
    std::string text;
    std::size_t i = 1;
    for (; i < raw.size() && raw[i] != '"'; ++i) {
        if (raw[i] != '\\') {
            text.push_back(raw[i]);
            continue;
        }
        if (++i == raw.size()) break;
        if (raw[i] == '\\' || raw[i] == '"') {
            text.push_back(raw[i]);
        } else if (raw[i] == 'x' && i + 2 < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(raw[i + 2]))) {
            text.push_back(static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            throw BadValue{"unknown escape \\" + std::string(1, raw[i]) + " (use \\\\, \\\" or \\xHH)"};
        }
    }
    if (i >= raw.size()) throw BadValue{"the closing quote is missing"};
    if (i + 1 != raw.size()) throw BadValue{"text after the closing quote"};
    return text;
}

std::uint64_t parseUnsigned(const std::string& text, std::uint64_t max) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        throw BadValue{"'" + text + "' is not a number"};
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0') throw BadValue{"'" + text + "' is not a number"};
    if (errno == ERANGE || value > max) throw BadValue{text + " is larger than " + std::to_string(max)};
    return value;
}

double parseReal(const std::string& text, double min, double max) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) throw BadValue{"'" + text + "' is not a number"};
    if (value < min || value > max)
        throw BadValue{text + " is outside " + std::to_string(min) + " .. " + std::to_string(max)};
    return value;
}

Mac parseMac(const std::string& text) {
    Mac mac{};
    unsigned b[6];
    char sep[5];
    int used = 0;
    if (std::sscanf(text.c_str(), "%2x%c%2x%c%2x%c%2x%c%2x%c%2x%n", &b[0], &sep[0], &b[1], &sep[1], &b[2], &sep[2],
                    &b[3], &sep[3], &b[4], &sep[4], &b[5], &used) != 11 ||
        static_cast<std::size_t>(used) != text.size() || text.size() != 17 ||
        std::any_of(sep, sep + 5, [&](char c) { return c != sep[0] || (c != ':' && c != '-'); }))
        throw BadValue{"'" + text + "' is not a hardware address like 00:80:6d:12:34:56"};
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<std::uint8_t>(b[i]);
    return mac;
}

std::uint32_t parseIPv4(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1)
        throw BadValue{"'" + text + "' is not a dotted IPv4 address"};
    return ntohl(address.s_addr);
}

std::uint32_t parseNetmask(const std::string& text) {
    const std::uint32_t mask = parseIPv4(text);
    if ((~mask & (~mask + 1)) != 0) throw BadValue{text + " is not a netmask (its ones are not contiguous)"};
    return mask;
}

std::uint32_t parseStatus(const std::string& text) {
    if (text == "ok") return STATUS_OK;
    if (text == "failed") return STATUS_FAILED;
    if (text == "bad_password") return STATUS_BAD_PASSWORD;
    try {
        return static_cast<std::uint32_t>(parseUnsigned(text, 0xFFFFFFFF));
    } catch (const BadValue&) {
        throw BadValue{"'" + text + "' is not ok, failed, bad_password or a number"};
    }
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::string item;
    for (char c : text + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!item.empty()) items.push_back(item);
            item.clear();
        } else {
            item.push_back(c);
        }
    }
    return items;
}

std::vector<Malformation> parseMalformations(const std::string& text) {
    std::vector<Malformation> list;
    for (const std::string& name : splitList(text)) {
        if (name == "all") {
            list.insert(list.end(), ALL_MALFORMATIONS.begin(), ALL_MALFORMATIONS.end());
        } else if (auto m = malformationNamed(name)) {
            list.push_back(*m);
        } else {
            std::string known;
            for (Malformation each : ALL_MALFORMATIONS) known += " " + std::string(malformationName(each));
            throw BadValue{"'" + name + "' is not one of:" + known + " all"};
        }
    }
    if (list.empty()) throw BadValue{"no malformation named"};
    return list;
}

std::string limitedText(const std::string& text, std::size_t max) {
    if (text.size() > max) throw BadValue{"longer than " + std::to_string(max) + " bytes"};
    return text;
}

using Setter = std::function<void(RouterConfig&, const std::string&)>;
using FaultSetter = std::function<void(ReplyFaults&, const std::string&)>;

const std::map<std::string, Setter>& plainKeys() {
    static const std::map<std::string, Setter> keys = {
        {"mac", [](RouterConfig& r, const std::string& v) { r.mac = parseMac(v); }},
        {"address",
         [](RouterConfig& r, const std::string& v) {
             r.address = parseIPv4(v);
             r.addressText = v;
         }},
        {"netmask", [](RouterConfig& r, const std::string& v) { r.netmask = parseNetmask(v); }},
        {"name", [](RouterConfig& r, const std::string& v) { r.name = limitedText(v, 32); }},
        {"short_identity", [](RouterConfig& r, const std::string& v) { r.before.shortIdentity = limitedText(v, 16); }},
        {"long_identity", [](RouterConfig& r, const std::string& v) { r.before.longIdentity = v; }},
        {"version",
         [](RouterConfig& r, const std::string& v) {
             r.version = static_cast<std::uint32_t>(parseUnsigned(v, 0xFFFFFFFF));
             if (r.version < 0x00010000) throw BadValue{"a reply's version is at least 0x00010000"};
         }},
        {"capabilities",
         [](RouterConfig& r, const std::string& v) { r.capabilities = static_cast<std::uint16_t>(parseUnsigned(v, 0xFFFF)); }},
        {"sub_code",
         [](RouterConfig& r, const std::string& v) { r.subCode = static_cast<std::uint16_t>(parseUnsigned(v, 0xFFFF)); }},
        {"key",
         [](RouterConfig& r, const std::string& v) {
             if (v == "new")
                 r.fixedKey.reset();
             else
                 r.fixedKey = static_cast<std::uint32_t>(parseUnsigned(v, 0xFFFFFFFF));
         }},
        {"password", [](RouterConfig& r, const std::string& v) { r.password = limitedText(v, 8); }},
        {"image_size",
         [](RouterConfig& r, const std::string& v) { r.imageSize = static_cast<std::uint32_t>(parseUnsigned(v, 0xFFFFFFFF)); }},
        {"ext_values",
         [](RouterConfig& r, const std::string& v) {
             const auto items = splitList(v);
             if (items.size() != 3) throw BadValue{"three numbers are needed, like 0 8 0x110"};
             std::array<std::uint32_t, 3> values;
             for (int i = 0; i < 3; ++i) values[i] = static_cast<std::uint32_t>(parseUnsigned(items[i], 0xFFFFFFFF));
             r.extValues = values;
         }},
        {"after_update.short_identity",
         [](RouterConfig& r, const std::string& v) { r.after.shortIdentity = limitedText(v, 16); }},
        {"after_update.long_identity", [](RouterConfig& r, const std::string& v) { r.after.longIdentity = v; }},
        {"restart_seconds",
         [](RouterConfig& r, const std::string& v) {
             if (v == "never")
                 r.restartSeconds.reset();
             else
                 r.restartSeconds = parseReal(v, 0, 3600);
         }},
        {"reply_destination",
         [](RouterConfig& r, const std::string& v) {
             if (v != "station" && v != "broadcast") throw BadValue{"'" + v + "' is not station or broadcast"};
             r.repliesToBroadcast = v == "broadcast";
         }},
        {"seed", [](RouterConfig& r, const std::string& v) { r.seed = parseUnsigned(v, UINT64_MAX); }},
        {"tcp",
         [](RouterConfig& r, const std::string& v) {
             const auto items = splitList(v);
             const std::string mode = items.empty() ? "" : items[0];
             const bool counted = mode == "stall_after" || mode == "close_after";
             if (items.size() != (counted ? 2u : 1u) || (!counted && mode != "accept" && mode != "refuse"))
                 throw BadValue{"'" + v + "' is not accept, refuse, stall_after N or close_after N"};
             r.tcp = mode == "accept"        ? TcpBehaviour::Accept
                     : mode == "refuse"      ? TcpBehaviour::Refuse
                     : mode == "stall_after" ? TcpBehaviour::StallAfter
                                             : TcpBehaviour::CloseAfter;
             if (counted) r.tcpLimit = parseUnsigned(items[1], 1ull << 32);
         }},
        {"flood.count",
         [](RouterConfig& r, const std::string& v) { r.flood.count = static_cast<unsigned>(parseUnsigned(v, 1000000)); }},
        {"flood.rate", [](RouterConfig& r, const std::string& v) { r.flood.rate = parseReal(v, 1, 20000); }},
        {"flood.seconds", [](RouterConfig& r, const std::string& v) { r.flood.seconds = parseReal(v, 0.01, 600); }},
    };
    return keys;
}

const std::map<std::string, FaultSetter>& faultKeys() {
    static const std::map<std::string, FaultSetter> keys = {
        {"drop_first", [](ReplyFaults& f, const std::string& v) { f.dropFirst = static_cast<unsigned>(parseUnsigned(v, 1000000)); }},
        {"drop_random", [](ReplyFaults& f, const std::string& v) { f.dropProbability = parseReal(v, 0, 1); }},
        {"duplicate", [](ReplyFaults& f, const std::string& v) { f.duplicates = static_cast<unsigned>(parseUnsigned(v, 100)); }},
        {"delay", [](ReplyFaults& f, const std::string& v) { f.delaySeconds = parseReal(v, 0, 600); }},
        {"status", [](ReplyFaults& f, const std::string& v) { f.status = parseStatus(v); }},
        {"malformed", [](ReplyFaults& f, const std::string& v) { f.malformed = parseMalformations(v); }},
        {"garbage", [](ReplyFaults& f, const std::string& v) { f.garbage = static_cast<unsigned>(parseUnsigned(v, 1000)); }},
        {"foreign_mac", [](ReplyFaults& f, const std::string& v) { f.foreignSource = parseMac(v); }},
    };
    return keys;
}

// "module.N" and "after_update.module.N" name the module text for selector N.
bool setModuleText(RouterConfig& router, const std::string& key, const std::string& value) {
    for (auto [prefix, identity] : {std::pair{"module.", &router.before}, std::pair{"after_update.module.", &router.after}}) {
        const std::string p = prefix;
        if (key.rfind(p, 0) == 0) {
            const auto selector = static_cast<std::uint32_t>(parseUnsigned(key.substr(p.size()), 0xFFFFFFFF));
            identity->modules[selector] = value;
            return true;
        }
    }
    return false;
}

bool setFault(RouterConfig& router, const std::string& key, const std::string& value) {
    const auto dot = key.find('.');
    if (dot == std::string::npos) return false;
    const auto setter = faultKeys().find(key.substr(0, dot));
    if (setter == faultKeys().end()) return false;
    const std::string kind = key.substr(dot + 1);
    if (kind == "all") {
        for (ReplyFaults& f : router.faults) setter->second(f, value);
    } else if (auto k = kindNamed(kind)) {
        setter->second(router.faults[static_cast<std::size_t>(*k)], value);
    } else {
        throw BadValue{"'" + kind + "' is not a reply kind (discover, module_info, update, update_ext, status, all)"};
    }
    return true;
}

class ScenarioReader {
  public:
    explicit ScenarioReader(std::string path) : path_(std::move(path)) {}

    void readLine(const std::string& raw, int number) {
        const std::string line = trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') return;
        if (line.front() == '[') return openSection(line, number);
        const auto eq = line.find('=');
        if (eq == std::string::npos) fail(number, "expected 'key = value' or '[router NAME]'");
        if (sections_.empty()) fail(number, "a key before the first [router NAME] section");
        const std::string key = trim(line.substr(0, eq));
        if (key.empty()) fail(number, "a value without a key");
        for (const Entry& e : sections_.back().entries)
            if (e.key == key) fail(number, "key '" + key + "' is set twice (first on line " + std::to_string(e.line) + ")");
        sections_.back().entries.push_back({key, trim(line.substr(eq + 1)), number});
    }

    Scenario finish() {
        if (sections_.empty()) throw ScenarioError(path_ + ": no [router NAME] section");
        Scenario scenario;
        for (const Section& section : sections_) scenario.routers.push_back(build(section));
        checkUnique(scenario);
        return scenario;
    }

  private:
    [[noreturn]] void fail(int line, const std::string& what) const {
        throw ScenarioError(path_ + ":" + std::to_string(line) + ": " + what);
    }

    void openSection(const std::string& line, int number) {
        if (line.back() != ']') fail(number, "a section header ends with ']'");
        const std::string inside = trim(line.substr(1, line.size() - 2));
        if (inside.rfind("router ", 0) != 0) fail(number, "the only section is [router NAME]");
        const std::string label = trim(inside.substr(7));
        if (label.empty() || !std::all_of(label.begin(), label.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
            }))
            fail(number, "a router's NAME is letters, digits, '-' and '_'");
        for (const Section& s : sections_)
            if (s.label == label) fail(number, "router '" + label + "' is defined twice");
        sections_.push_back({label, number, {}});
    }

    RouterConfig build(const Section& section) const {
        RouterConfig router;
        router.label = section.label;
        router.name = section.label;
        // Keys for `all` kinds first, so that a key for one kind wins wherever it stands.
        std::vector<Entry> entries = section.entries;
        std::stable_partition(entries.begin(), entries.end(), [](const Entry& e) {
            return e.key.size() > 4 && e.key.compare(e.key.size() - 4, 4, ".all") == 0;
        });
        std::set<std::string> seen;
        for (const Entry& e : entries) {
            try {
                const std::string value = unquote(e.value);
                if (auto plain = plainKeys().find(e.key); plain != plainKeys().end())
                    plain->second(router, value);
                else if (!setModuleText(router, e.key, value) && !setFault(router, e.key, value))
                    fail(e.line, "unknown key '" + e.key + "' (keys are listed in tools/router-sim/README.md)");
            } catch (const BadValue& bad) {
                fail(e.line, "key '" + e.key + "': " + bad.what);
            }
            seen.insert(e.key);
        }
        for (const char* required : {"mac", "address", "short_identity"})
            if (!seen.count(required))
                fail(section.line, "router '" + section.label + "' lacks the key '" + required + "'");
        completeAfterUpdate(router, seen);
        checkIdentity(router, router.before, section, "long_identity");
        checkIdentity(router, router.after, section, "after_update.long_identity");
        return router;
    }

    // What an update does not mention stays as it was.
    static void completeAfterUpdate(RouterConfig& router, const std::set<std::string>& seen) {
        if (!seen.count("after_update.short_identity")) router.after.shortIdentity = router.before.shortIdentity;
        if (!seen.count("after_update.long_identity")) router.after.longIdentity = router.before.longIdentity;
        for (const auto& [selector, text] : router.before.modules) router.after.modules.emplace(selector, text);
    }

    void checkIdentity(const RouterConfig& router, const Identity& identity, const Section& section,
                       const std::string& key) const {
        if (identity.longIdentity.empty()) return;
        const int line = lineOf(section, key);
        if (router.version < 0x00010001)
            fail(line, "key '" + key + "': a long identity needs version 0x00010001 or later");
        const std::size_t room = MAX_DATAGRAM - HEADER_LENGTH - discoveryFixedLength(router.version) - 1;
        if (identity.longIdentity.size() > room)
            fail(line, "key '" + key + "': longer than the " + std::to_string(room) + " bytes a datagram has room for");
    }

    static int lineOf(const Section& section, const std::string& key) {
        for (const Entry& e : section.entries)
            if (e.key == key) return e.line;
        return section.line;
    }

    void checkUnique(const Scenario& scenario) const {
        for (std::size_t i = 0; i < scenario.routers.size(); ++i)
            for (std::size_t j = 0; j < i; ++j) {
                const RouterConfig& a = scenario.routers[i];
                const RouterConfig& b = scenario.routers[j];
                const int line = lineOf(sections_[i], a.mac == b.mac ? "mac" : "address");
                if (a.mac == b.mac) fail(line, "routers '" + b.label + "' and '" + a.label + "' have the same mac");
                if (a.address == b.address)
                    fail(line, "routers '" + b.label + "' and '" + a.label + "' have the same address");
            }
    }

    std::string path_;
    std::vector<Section> sections_;
};

}  // namespace

Scenario loadScenario(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw ScenarioError(path + ": cannot be read: " + std::strerror(errno));
    ScenarioReader reader(path);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) reader.readLine(line, number);
    return reader.finish();
}

}  // namespace sim
