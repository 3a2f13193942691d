#include "engine/NetworkSession.h"

#include "protocol/Acceptance.h"

NetworkSession::NetworkSession(Networking& networking, ReceiveQueue& queue) : networking_(networking), queue_(queue) {}

int NetworkSession::QueueDatagram() {
    std::uint8_t buffer[MAX_DATAGRAM_SIZE];
    const int length = ReceiveDatagram(networking_.Udp(), networking_.Station(), buffer);
    if (length <= 0) return 0;
    return queue_.AppendDatagram(buffer, static_cast<std::size_t>(length));
}

int NetworkSession::ShutdownNetworking() {
    networking_.CloseNetworking();
    queue_.ClearDatagrams();
    return 1;
}
