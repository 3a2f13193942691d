#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "ports/TcpPort.h"

// A TCP connection that records every call and takes what a test allows.
class FakeTcp : public TcpPort {
public:
    bool Create() override;
    bool IsOpen() const override { return open; }
    void SelectEvents(std::uint32_t events) override;
    int Connect(std::uint32_t ipAddress, std::uint16_t port) override;
    int Send(const std::uint8_t* data, int length) override;
    void ShutdownSending() override { calls.push_back("shutdown"); }
    void Close() override;

    bool failCreate = false;
    // How many bytes each Send takes: front first; -1 fails the send; an
    // empty queue takes everything.
    std::deque<int> sendLimits;

    bool open = false;
    int creates = 0, closes = 0;
    std::uint32_t selected = 0;
    std::uint32_t connectAddress = 0;
    std::uint16_t connectPort = 0;
    std::vector<std::uint8_t> received;  // every byte the connection took, in order
    int sendCalls = 0;
    std::vector<std::string> calls;      // "create", "select N", "connect", "send N", "shutdown", "close"
};
