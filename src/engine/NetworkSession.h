// Where the UDP endpoint meets the receive queue: taking in one datagram per
// read notification, and the shutdown at dialog end.
#pragma once

#include "engine/ReceiveQueue.h"
#include "protocol/Networking.h"

class NetworkSession {
public:
    NetworkSession(Networking& networking, ReceiveQueue& queue);

    // Reads one datagram; queues it when accepted. 1 when queued.
    int QueueDatagram();
    // Closes the endpoint, ends the socket library, empties the queue. Returns 1.
    int ShutdownNetworking();

private:
    Networking& networking_;
    ReceiveQueue& queue_;
};
