#include "Win32HostPort.h"

#include <nb30.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr int ADAPTER_STATUS_BUFFER_SIZE = 600;
constexpr int HOST_NAME_SIZE = 256;
// Any name: the status of the local adapter itself.
constexpr char ANY_CALL_NAME[NCBNAMSZ + 1] = "*               ";
static_assert(sizeof(LANA_ENUM) == 256);
}  // namespace

bool Win32HostPort::FirstAdapterAddress(std::uint8_t (&mac)[6]) {
    LANA_ENUM adapters{};
    NCB enumerate{};
    enumerate.ncb_command = NCBENUM;
    enumerate.ncb_buffer = reinterpret_cast<PUCHAR>(&adapters);
    enumerate.ncb_length = sizeof adapters;
    Netbios(&enumerate);
    // No listed adapter: nothing to reset or to ask.
    if (adapters.length == 0) return false;
    const UCHAR lana = adapters.lana[0];

    NCB reset{};
    reset.ncb_command = NCBRESET;
    reset.ncb_lana_num = lana;
    Netbios(&reset);

    UCHAR status[ADAPTER_STATUS_BUFFER_SIZE] = {};
    NCB query{};
    query.ncb_command = NCBASTAT;
    query.ncb_lana_num = lana;
    std::memcpy(query.ncb_callname, ANY_CALL_NAME, NCBNAMSZ);
    query.ncb_buffer = status;
    query.ncb_length = sizeof status;
    if (Netbios(&query) != NRC_GOODRET) return false;
    // ADAPTER_STATUS begins with the adapter's hardware address.
    std::memcpy(mac, status, sizeof mac);
    return true;
}

std::uint32_t Win32HostPort::LocalIpv4Address() {
    char name[HOST_NAME_SIZE];
    if (gethostname(name, sizeof name) != 0) return 0;
    const hostent* host = gethostbyname(name);
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr) return 0;
    const auto* octets = reinterpret_cast<const std::uint8_t*>(host->h_addr_list[0]);
    return std::uint32_t{octets[0]} << 24 | std::uint32_t{octets[1]} << 16 | std::uint32_t{octets[2]} << 8 | octets[3];
}

unsigned Win32HostPort::LocalTimeMilliseconds() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wMilliseconds;
}

void Win32HostPort::SeedRandom(unsigned seed) { std::srand(seed); }

int Win32HostPort::NextRandom() { return std::rand(); }
