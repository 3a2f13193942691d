#pragma once

#include "ports/MessagePort.h"

// LoadStringA over the generated catalogue.
class FakeMessages : public MessagePort {
public:
    int LoadMessage(unsigned number, char* buffer, int size) override;
};
