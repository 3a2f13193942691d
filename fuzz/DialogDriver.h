// The whole dialog, wired to fakes, driven by a script of events
// (DialogScript.h); after every event the invariants that must always hold
// are checked, and the first one broken aborts the run with its name.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct DialogOutcome {
    std::vector<std::string> statusHistory;  // every status text shown, code page 932
    int events = 0;
};

// Runs a script against a fresh dialog, from its start to its end. With
// `trace`, every event and the messages it showed go to stderr.
DialogOutcome RunDialogScript(std::span<const std::uint8_t> script, bool trace);
