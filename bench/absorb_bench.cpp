// The end of a search: N discovery replies taken in through acceptance and
// the receive queue, absorbed into the device registry, then published.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "DialogSurface.h"
#include "FakeDialog.h"
#include "FakeHost.h"
#include "FakeMessages.h"
#include "engine/NetworkSession.h"
#include "engine/ReceiveQueue.h"
#include "ports/UdpPort.h"
#include "protocol/Discovery.h"
#include "protocol/DiscoveryReplies.h"
#include "protocol/Networking.h"
#include "registry/DeviceList.h"

namespace {

// An endpoint that hands out the same datagrams again after each Rewind.
class ReplayUdp : public UdpPort {
public:
    explicit ReplayUdp(const std::vector<Bytes>& datagrams) : datagrams_(datagrams) {}
    void Rewind() { next_ = 0; }

    bool StartSocketLibrary() override { return true; }
    void StopSocketLibrary() override {}
    bool Open() override { return true; }
    bool IsOpen() const override { return true; }
    bool AllowBroadcast() override { return true; }
    void BindAnyAddress() override {}
    void Close() override {}
    void SendTo(const std::uint8_t*, std::size_t, std::uint32_t, std::uint16_t) override {}
    int Receive(std::uint8_t* buffer, std::size_t capacity) override {
        if (next_ == datagrams_.size()) return -1;
        const Bytes& d = datagrams_[next_++];
        if (d.size() > capacity) return -1;
        std::memcpy(buffer, d.data(), d.size());
        return static_cast<int>(d.size());
    }
    bool HasWaitingDatagram() override { return next_ < datagrams_.size(); }
    void ArmReadNotification() override {}
    void DisarmNotification() override {}

private:
    const std::vector<Bytes>& datagrams_;
    std::size_t next_ = 0;
};

// N routers of the listed model, each with its own address and name.
std::vector<Bytes> Replies(int n) {
    std::vector<Bytes> replies;
    for (int i = 0; i < n; ++i) {
        DiscoveryFields f;
        f.source = {0x00, 0x80, 0x92, 0x00, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
        f.name = "Router " + std::to_string(i);
        f.longIdentity = Sz("VQT-RN8 1.00 (build " + std::to_string(i) + ")");
        replies.push_back(DiscoveryReply(f));
    }
    return replies;
}

void AbsorbAndPublish(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<Bytes> replies = Replies(n);
    ReplayUdp udp(replies);
    FakeHost host;
    Networking networking(udp, host);
    networking.InitNetworking();
    ReceiveQueue queue;
    NetworkSession session(networking, queue);
    FakeDialog dialog;
    FakeMessages messages;
    DialogSurface surface(dialog, messages);
    ModelTable models;
    DeviceList devices(models, surface);

    for (auto _ : state) {
        udp.Rewind();
        devices.ClearDevices();
        for (int i = 0; i < n; ++i) session.QueueDatagram();
        ScanQueue(queue, [&](std::span<const std::uint8_t> d) {
            return AbsorbDiscoveryReply(d, devices) != nullptr ? ScanStep::Remove : ScanStep::Next;
        });
        devices.PublishDeviceList();
        benchmark::DoNotOptimize(devices.FirstDevice());
    }
    if (dialog.lines.size() != static_cast<std::size_t>(n)) state.SkipWithError("not every router was listed");
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(AbsorbAndPublish)->Arg(10)->Arg(100)->Arg(700)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
