#include "FakeTcp.h"

bool FakeTcp::Create() {
    calls.push_back("create");
    if (failCreate) return false;
    open = true;
    ++creates;
    return true;
}

void FakeTcp::SelectEvents(std::uint32_t events) {
    selected = events;
    calls.push_back("select " + std::to_string(events));
}

int FakeTcp::Connect(std::uint32_t ipAddress, std::uint16_t port) {
    connectAddress = ipAddress;
    connectPort = port;
    calls.push_back("connect");
    return -1;  // a non-blocking connect always "would block"
}

int FakeTcp::Send(const std::uint8_t* data, int length) {
    ++sendCalls;
    int take = length;
    if (!sendLimits.empty()) {
        take = sendLimits.front();
        sendLimits.pop_front();
        if (take > length) take = length;
    }
    calls.push_back("send " + std::to_string(take));
    if (take < 0) return -1;
    received.insert(received.end(), data, data + take);
    return take;
}

void FakeTcp::Close() {
    calls.push_back("close");
    open = false;
    selected = 0;
    ++closes;
}
