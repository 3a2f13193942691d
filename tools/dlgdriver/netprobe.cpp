// netprobe: exercises the program's Win32 host and UDP ports under Wine.
// It reads the first adapter's hardware address, broadcasts one datagram
// carrying it to PORT, then reads what comes back through the dialog's
// read notification until two datagrams were read or the deadline passed,
// and writes a JSON report (UTF-8) to OUT.json.
//
//   netprobe OUT.json PORT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../dlgdriver/Json.h"
#include "ResourceIds.h"
#include "Win32HostPort.h"
#include "Win32UdpPort.h"

namespace {

constexpr std::uint32_t BROADCAST_ADDRESS = 0xFFFFFFFFu;
constexpr std::size_t RECEIVE_CAPACITY = 1500;  // as the program reads
constexpr UINT DEADLINE_MS = 10000;
constexpr std::size_t READS_WANTED = 2;

std::string Hex(const std::uint8_t* bytes, std::size_t length, const char* separator = "") {
    std::string out;
    char digits[4];
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0) out += separator;
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        out += digits;
    }
    return out;
}

std::string DottedAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, address >> 16 & 0xFF, address >> 8 & 0xFF,
                  address & 0xFF);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: netprobe OUT.json PORT\n", stderr);
        return 1;
    }
    const auto port = static_cast<std::uint16_t>(std::atoi(argv[2]));
    Json json;
    json.BeginObject();

    Win32HostPort host;
    std::uint8_t mac[6] = {};
    const bool adapter = host.FirstAdapterAddress(mac);
    json.Key("adapter").Bool(adapter);
    json.Key("mac").String(Hex(mac, sizeof mac, ":"));

    // A message-only window receives the read notifications, as the dialog does.
    const HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    Win32UdpPort udp(window);
    const bool started = udp.StartSocketLibrary();
    const bool opened = started && udp.Open();
    const bool broadcast = opened && udp.AllowBroadcast();
    json.Key("started").Bool(started).Key("opened").Bool(opened).Key("broadcast").Bool(broadcast);
    json.Key("local_address").String(DottedAddress(host.LocalIpv4Address()));

    std::vector<int> reads;
    std::string firstPayload;
    if (broadcast) {
        udp.BindAnyAddress();
        udp.ArmReadNotification();
        std::uint8_t datagram[16] = {'Z', 'V', 'R', '-', 'P', 'R', 'O', 'B', 'E', ' '};
        std::memcpy(datagram + 10, mac, sizeof mac);
        udp.SendTo(datagram, sizeof datagram, BROADCAST_ADDRESS, port);

        const UINT_PTR deadline = SetTimer(nullptr, 0, DEADLINE_MS, nullptr);
        MSG message;
        while (reads.size() < READS_WANTED && GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (message.message == WM_TIMER && message.wParam == deadline) break;
            if (message.message != WM_DISCOVERY_SOCKET) continue;
            std::uint8_t buffer[RECEIVE_CAPACITY];
            const int length = udp.Receive(buffer, sizeof buffer);
            reads.push_back(length);
            if (length > 0 && firstPayload.empty()) firstPayload = Hex(buffer, static_cast<std::size_t>(length));
        }
        KillTimer(nullptr, deadline);
        udp.DisarmNotification();
    }
    json.Key("reads").BeginArray();
    for (int length : reads) json.Number(length);
    json.EndArray();
    json.Key("first_payload").String(firstPayload);
    udp.Close();
    if (started) udp.StopSocketLibrary();
    json.EndObject();

    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 1;
    std::fwrite(json.Text().data(), 1, json.Text().size(), out);
    std::fclose(out);
    return 0;
}
