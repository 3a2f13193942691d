#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ports/DialogPort.h"

// The dialog's controls as plain state a test can read and set.
class FakeDialog : public DialogPort {
public:
    void SetControlText(int controlId, const char* text) override;
    int ReadControlText(int controlId, char* buffer, int size) override;
    void EnableControl(int controlId, bool enable) override;
    void LimitText(int controlId, int characters) override { textLimits[controlId] = characters; }
    void FocusControl(int controlId) override { focus = controlId; }
    void ResetDeviceLines() override;
    int AppendDeviceLine(const char* text) override;
    int SelectedDeviceLine() override { return selection; }
    void ClearDeviceSelection() override { selection = -1; }
    void SetProgressRange(std::uint16_t maximum) override { progressMax = maximum; }
    void SetProgressPosition(int position) override { progressPos = position; }
    bool AskYesNo(const char* text, const char* caption) override;
    ScreenRect WindowRect() override { return window; }
    ScreenRect ParentRect() override { return parent; }
    void MoveWindow(int x, int y, int width, int height) override;
    void EndDialog(int result) override { endResult = result; }

    // The status text (IDC_INFO_TEXT), and every text it showed, in order.
    std::string Status() const;
    bool Enabled(int controlId) const;

    std::map<int, std::string> texts;        // code page 932
    std::vector<std::string> statusHistory;  // code page 932
    std::map<int, bool> enabled;
    std::vector<std::pair<int, bool>> enableCalls;
    std::map<int, int> textLimits;
    int focus = 0;
    std::vector<std::string> lines;
    int selection = -1;
    int refuseLinesFrom = -1;  // AppendDeviceLine refuses from this line on (-1: never)
    std::uint16_t progressMax = 0;
    int progressPos = 0;
    std::deque<bool> answers;  // AskYesNo answers, front first; "No" when empty
    std::vector<std::pair<std::string, std::string>> questions;  // (text, caption)
    ScreenRect window{0, 0, 300, 200};
    ScreenRect parent{0, 0, 1024, 768};
    int endResult = -1;
};
