#include "DialogSurface.h"

#include "ResourceIds.h"

namespace {
// The inputs, in the order they are switched. IDC_RESEARCH, IDC_INFO_TEXT
// and IDC_PROGRESS are never disabled.
constexpr int kInputs[] = {IDC_DEVICE_LABEL, IDC_DEVICE_LIST, IDC_PASSWORD_LABEL, IDC_PASSWORD, IDOK, IDCANCEL};
}  // namespace

DialogSurface::DialogSurface(DialogPort& controls, MessagePort& messages) : controls_(controls), messages_(messages) {}

int DialogSurface::LoadMessage(unsigned message, char* buffer, int size) {
    return messages_.LoadMessage(message, buffer, size);
}

int DialogSurface::SetStatusText(unsigned message) {
    char text[STATUS_TEXT_SIZE];
    LoadMessage(message, text, sizeof text);
    controls_.SetControlText(IDC_INFO_TEXT, text);
    return 1;
}

void DialogSurface::SetStatusTextArgs(unsigned message, std::initializer_list<FormatArg> args) {
    char format[STATUS_TEXT_SIZE];
    char text[STATUS_TEXT_SIZE];
    LoadMessage(message, format, sizeof format);
    FormatText(text, sizeof text, format, args);
    controls_.SetControlText(IDC_INFO_TEXT, text);
}

int DialogSurface::SetStatusTextNum(unsigned message, std::int32_t value) {
    SetStatusTextArgs(message, {FormatArg::Num(value)});
    return 1;
}

int DialogSurface::SetStatusTextSub(unsigned message, unsigned inserted) {
    char insertedText[STATUS_TEXT_SIZE];
    LoadMessage(inserted, insertedText, sizeof insertedText);
    SetStatusTextArgs(message, {FormatArg::Str(insertedText)});
    return 1;
}

int DialogSurface::SetInputsEnabled(int enable) {
    const bool on = enable != 0;
    for (int id : kInputs) controls_.EnableControl(id, on);
    char text[BUTTON_TEXT_SIZE];
    LoadMessage(on ? MSG_RESEARCH_BUTTON : MSG_CANCEL_BUTTON, text, sizeof text);
    controls_.SetControlText(IDC_RESEARCH, text);
    inputsEnabled_ = on;
    return enable;
}

void DialogSurface::CenterOnParent() {
    const ScreenRect r = controls_.WindowRect();
    const ScreenRect p = controls_.ParentRect();
    const int x = p.left + (p.Width() - r.Width()) / 2;
    const int y = p.top + (p.Height() - r.Height()) / 2;
    controls_.MoveWindow(x, y, r.Width(), r.Height());
}
