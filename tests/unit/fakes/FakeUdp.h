#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "ports/UdpPort.h"

struct SentDatagram {
    std::vector<std::uint8_t> bytes;
    std::uint32_t ipAddress;
    std::uint16_t port;
};

// A UDP endpoint whose arrivals a test pushes in and whose sends it reads.
class FakeUdp : public UdpPort {
public:
    bool StartSocketLibrary() override;
    void StopSocketLibrary() override { libraryStarted = false; }
    bool Open() override;
    bool IsOpen() const override { return open; }
    bool AllowBroadcast() override;
    void BindAnyAddress() override { bound = true; }
    void Close() override;
    void SendTo(const std::uint8_t* data, std::size_t length, std::uint32_t ipAddress, std::uint16_t port) override;
    int Receive(std::uint8_t* buffer, std::size_t capacity) override;
    bool HasWaitingDatagram() override { return !inbound.empty(); }
    void ArmReadNotification() override { armed = true; }
    void DisarmNotification() override { armed = false; }

    // Queues an arrival; -1 in `inbound` stands for a receive error.
    void Arrive(std::vector<std::uint8_t> datagram) { inbound.push_back(std::move(datagram)); }

    bool failStartup = false, failOpen = false, refuseBroadcast = false;
    bool libraryStarted = false, open = false, broadcast = false, bound = false, armed = false;
    int closes = 0;
    std::deque<std::vector<std::uint8_t>> inbound;  // an empty vector: a receive error
    std::vector<SentDatagram> sent;
};
