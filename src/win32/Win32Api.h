// The Windows headers as the Windows layer includes them: Winsock 1.1
// (wsock32) before windows.h, so that winsock2.h can never slip in.
#pragma once

#include <winsock.h>
#include <windows.h>
