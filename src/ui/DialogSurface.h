// The only ways the rest of the program writes to the dialog: the status
// text, the enabling of the inputs, and the dialog's place.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "BoundedFormat.h"
#include "ports/DialogPort.h"
#include "ports/MessagePort.h"

constexpr int STATUS_TEXT_SIZE = 512;
constexpr int BUTTON_TEXT_SIZE = 64;
constexpr int CAPTION_SIZE = 256;

class DialogSurface {
public:
    DialogSurface(DialogPort& controls, MessagePort& messages);

    // Each replaces the whole status text (IDC_INFO_TEXT) and returns 1.
    int SetStatusText(unsigned message);
    int SetStatusTextNum(unsigned message, std::int32_t value);
    int SetStatusTextSub(unsigned message, unsigned inserted);
    // Composes `message` with `args` into a status-sized buffer and shows it.
    void SetStatusTextArgs(unsigned message, std::initializer_list<FormatArg> args);

    // Enables or disables the operator inputs and sets the text of
    // IDC_RESEARCH; returns the flag it was called with.
    int SetInputsEnabled(int enable);
    // Whether the inputs are enabled now (the last SetInputsEnabled; at first true).
    bool InputsEnabled() const { return inputsEnabled_; }

    void CenterOnParent();

    // Loads a catalogue message into buffer (size bytes), cut to fit.
    int LoadMessage(unsigned message, char* buffer, int size);

    DialogPort& Controls() { return controls_; }

private:
    DialogPort& controls_;
    MessagePort& messages_;
    bool inputsEnabled_ = true;
};
