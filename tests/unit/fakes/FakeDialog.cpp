#include "FakeDialog.h"

#include <cstring>

#include "ResourceIds.h"

void FakeDialog::SetControlText(int controlId, const char* text) {
    texts[controlId] = text;
    if (controlId == IDC_INFO_TEXT) statusHistory.emplace_back(text);
}

int FakeDialog::ReadControlText(int controlId, char* buffer, int size) {
    if (size <= 0) return 0;
    const std::string& text = texts[controlId];
    const std::size_t n = text.size() < static_cast<std::size_t>(size - 1) ? text.size() : static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

void FakeDialog::EnableControl(int controlId, bool enable) {
    enabled[controlId] = enable;
    enableCalls.emplace_back(controlId, enable);
}

void FakeDialog::ResetDeviceLines() {
    lines.clear();
    selection = -1;
}

int FakeDialog::AppendDeviceLine(const char* text) {
    if (refuseLinesFrom >= 0 && static_cast<int>(lines.size()) >= refuseLinesFrom) return -1;
    lines.emplace_back(text);
    return static_cast<int>(lines.size()) - 1;
}

bool FakeDialog::AskYesNo(const char* text, const char* caption) {
    questions.emplace_back(text, caption);
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

void FakeDialog::MoveWindow(int x, int y, int width, int height) { window = {x, y, x + width, y + height}; }

std::string FakeDialog::Status() const {
    auto it = texts.find(IDC_INFO_TEXT);
    return it == texts.end() ? std::string() : it->second;
}

bool FakeDialog::Enabled(int controlId) const {
    auto it = enabled.find(controlId);
    return it == enabled.end() ? true : it->second;
}
