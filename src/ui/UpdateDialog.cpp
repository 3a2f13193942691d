#include "UpdateDialog.h"

#include "ResourceIds.h"

UpdateDialog::UpdateDialog(const Ports& ports, const FirmwareImage& image, const ModelTable& models)
    : ports_(ports), image_(image), models_(models), surface_(ports.dialog, ports.messages) {}

UpdateDialog::~UpdateDialog() = default;

bool UpdateDialog::UpdateDialogProc(const DialogEvent& event) {
    switch (event.kind) {
        case DialogEventKind::Init:
            surface_.CenterOnParent();
            ports_.dialog.FocusControl(IDC_RESEARCH);
            return false;  // the focus stays where it was put
        case DialogEventKind::Destroy:
            return false;
        case DialogEventKind::Command:
            if (event.commandId == IDCANCEL) ports_.dialog.EndDialog(0);
            return true;
        case DialogEventKind::Timer:
            return true;
        case DialogEventKind::DiscoverySocket:
            return true;
        case DialogEventKind::TransferSocket:
            return false;
    }
    return false;
}
