// What the text hook and the text recorder share: the recorder's window, which
// the hook finds in the program's process and hands every new control text to.
#pragma once

// Class of the recorder's message-only window.
#define TEXT_RECORDER_CLASS L"ZvrTextRecorder"
// WM_COPYDATA's dwData: a control's new text, UTF-16 without terminator;
// WM_COPYDATA's wParam is the control.
#define TEXT_RECORDER_SET_TEXT 1
