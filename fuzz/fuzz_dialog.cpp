// The whole core through the dialog: a search and an update with the
// fuzzer choosing every event (datagrams, structured router replies, the
// operator's commands, socket notifications, timer firings) and the
// environment's failures. The driver checks the invariants after each event.
//
// Input: DialogScript.h. Set ZVR_FUZZ_TRACE=1 to see what an input does.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "DialogDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool trace = std::getenv("ZVR_FUZZ_TRACE") != nullptr;
    RunDialogScript({data, size}, trace);
    return 0;
}
