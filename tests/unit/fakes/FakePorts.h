// One fake of every port, and the Ports bundle the composition root takes.
#pragma once

#include "FakeDialog.h"
#include "FakeHost.h"
#include "FakeMessages.h"
#include "FakeTcp.h"
#include "FakeTimers.h"
#include "FakeUdp.h"
#include "UpdateDialog.h"

struct FakePorts {
    FakeDialog dialog;
    FakeTimers timers;
    FakeUdp udp;
    FakeTcp tcp;
    FakeHost host;
    FakeMessages messages;

    Ports All() { return Ports{dialog, timers, udp, tcp, host, messages}; }
};
