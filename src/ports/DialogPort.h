// The dialog's controls, as the core sees them. The Win32 side forwards each
// call to one control message; it decides nothing.
#pragma once

#include <cstdint>

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

class DialogPort {
public:
    virtual ~DialogPort() = default;

    // Replaces the whole text of a control. `text` is NUL-terminated code page 932.
    virtual void SetControlText(int controlId, const char* text) = 0;
    // Copies at most size - 1 bytes of a control's text and a NUL into buffer
    // (GetDlgItemTextA); returns the number of bytes copied before the NUL.
    virtual int ReadControlText(int controlId, char* buffer, int size) = 0;
    virtual void EnableControl(int controlId, bool enable) = 0;
    virtual void LimitText(int controlId, int characters) = 0;
    virtual void FocusControl(int controlId) = 0;

    // IDC_DEVICE_LIST, an unsorted single-selection list box.
    virtual void ResetDeviceLines() = 0;
    // Appends a line; returns its number from 0, or a negative number when refused.
    virtual int AppendDeviceLine(const char* text) = 0;
    // The selected line, or -1 when none is selected.
    virtual int SelectedDeviceLine() = 0;
    virtual void ClearDeviceSelection() = 0;

    // IDC_PROGRESS: range 0 .. maximum; a position above it shows a full bar.
    virtual void SetProgressRange(std::uint16_t maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;

    // A modal Yes/No question with the warning icon, owned by the dialog.
    // Returns true for Yes. Other events are routed while it is open.
    virtual bool AskYesNo(const char* text, const char* caption) = 0;

    // Screen rectangles of the dialog and of its parent (its owner), and a
    // move with repaint.
    virtual ScreenRect WindowRect() = 0;
    virtual ScreenRect ParentRect() = 0;
    virtual void MoveWindow(int x, int y, int width, int height) = 0;

    // Ends the modal dialog with the given result; the end event follows.
    virtual void EndDialog(int result) = 0;
};
