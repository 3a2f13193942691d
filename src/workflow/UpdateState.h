// How far the current update has come past its authorisation, and which
// router it is for. One per open dialog, owned by its composition root.
#pragma once

struct DeviceRecord;

enum TransferPhase : int {
    XFER_IDLE = 0,         // no transfer; also during the restart wait
    XFER_CONNECTING = 1,   // the TCP connection is being set up
    XFER_SENDING = 2,      // connected, blocks being sent
    XFER_CONFIRMING = 3,   // the whole image was sent; status query
    XFER_USER_ABORT = 4,   // the operator cancelled the transfer; status query
    XFER_ERROR_ABORT = 5,  // the transfer failed; status query
    XFER_SENT = 6,         // the whole image handed to the connection, within one step
};

struct UpdateState {
    TransferPhase phase = XFER_IDLE;
    // The router being updated; points into the DeviceList, which keeps its
    // records while an update is under way (no new search starts then).
    DeviceRecord* updateDevice = nullptr;
};
