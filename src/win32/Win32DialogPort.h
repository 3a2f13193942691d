// The dialog's controls through their window messages.
#pragma once

#include "Win32Api.h"
#include "ports/DialogPort.h"

class Win32DialogPort : public DialogPort {
public:
    explicit Win32DialogPort(HWND dialog) : dialog_(dialog) {}

    void SetControlText(int controlId, const char* text) override;
    int ReadControlText(int controlId, char* buffer, int size) override;
    void EnableControl(int controlId, bool enable) override;
    void LimitText(int controlId, int characters) override;
    void FocusControl(int controlId) override;

    void ResetDeviceLines() override;
    int AppendDeviceLine(const char* text) override;
    int SelectedDeviceLine() override;
    void ClearDeviceSelection() override;

    void SetProgressRange(std::uint16_t maximum) override;
    void SetProgressPosition(int position) override;

    bool AskYesNo(const char* text, const char* caption) override;

    ScreenRect WindowRect() override;
    ScreenRect ParentRect() override;
    void MoveWindow(int x, int y, int width, int height) override;

    void EndDialog(int result) override;

private:
    HWND dialog_;
};
