// Streams the embedded image to the router over one TCP connection, in
// blocks of at most 1024 bytes, one block per write-ready notification.
#pragma once

#include <cstdint>

#include "ports/FirmwareImage.h"
#include "ports/TimerPort.h"

class CompletionTracking;
class DialogPort;
class DialogSurface;
class TcpPort;
struct DeviceRecord;
struct UpdateState;

constexpr std::uint32_t TRANSFER_BLOCK_SIZE = 1024;
constexpr unsigned CONNECT_DEADLINE_MS = 30000;
constexpr unsigned BLOCK_DEADLINE_MS = 10000;
// The error half of the events made up for a time-out.
constexpr std::uint32_t TIMEOUT_ERROR = 0xFFFF;

class FirmwareTransfer {
public:
    FirmwareTransfer(DialogSurface& surface, DialogPort& bar, TimerPort& timers, TcpPort& tcp,
                     const FirmwareImage& image, UpdateState& state, CompletionTracking& completion);

    // Called on the router's STATUS_OK; the result is ConnectTransfer's.
    int BeginTransfer(DeviceRecord& record);
    // 0 when no socket could be made, else the connect's raw result.
    int ConnectTransfer(DeviceRecord& record);
    // A WM_TRANSFER_SOCKET event (kind in the low 16 bits, error in the
    // high 16); false when the state ignores it.
    bool OnTransferSocketEvent(std::uint32_t event);
    // 1 when nothing is left to send (nothing is sent then), else 0.
    int SendNextBlock();
    // 0 when it did nothing, else 1.
    int FailTransfer(std::uint32_t event);
    int OnTransferTimeout();
    void AbortTransfer();

    TimerId transferTimerId = 0;  // 0: the transfer timer is not running

    // Transfer variables, readable by tests.
    std::uint32_t bytesLeft = 0;
    std::uint32_t blocksSent = 0;
    std::uint32_t sendCursor = 0;  // offset of the next block in the image

private:
    void StartTransferTimer(unsigned ms);
    void StopTransferTimer();

    DialogSurface& surface_;
    DialogPort& bar_;
    TimerPort& timers_;
    TcpPort& tcp_;
    const FirmwareImage& image_;
    UpdateState& state_;
    CompletionTracking& completion_;
    // Bytes of the current block the connection has taken so far: a block it
    // takes only in part is finished, in order, before the next one starts.
    std::uint32_t blockTaken_ = 0;
};
