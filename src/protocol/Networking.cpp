#include "protocol/Networking.h"

#include "ports/HostPort.h"
#include "ports/UdpPort.h"

Networking::Networking(UdpPort& udp, HostPort& host) : udp_(udp), host_(host) {}
