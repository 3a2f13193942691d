#include "FakeUdp.h"

#include <cstring>

bool FakeUdp::StartSocketLibrary() {
    libraryStarted = !failStartup;
    return libraryStarted;
}

bool FakeUdp::Open() {
    open = !failOpen;
    return open;
}

bool FakeUdp::AllowBroadcast() {
    broadcast = !refuseBroadcast;
    return broadcast;
}

void FakeUdp::Close() {
    open = false;
    armed = false;
    ++closes;
}

void FakeUdp::SendTo(const std::uint8_t* data, std::size_t length, std::uint32_t ipAddress, std::uint16_t port) {
    if (!open) return;  // like a send on an invalid socket
    sent.push_back({std::vector<std::uint8_t>(data, data + length), ipAddress, port});
}

int FakeUdp::Receive(std::uint8_t* buffer, std::size_t capacity) {
    if (inbound.empty()) return -1;
    std::vector<std::uint8_t> d = std::move(inbound.front());
    inbound.pop_front();
    if (d.empty() || d.size() > capacity) return -1;
    std::memcpy(buffer, d.data(), d.size());
    return static_cast<int>(d.size());
}
