#include "Shell.h"

#include "ResourceIds.h"

Shell::Shell(ShellPort& platform, MessagePort& messages) : platform_(platform), messages_(messages) {}

int Shell::ProgramMain() {
    messages_.LoadMessage(MSG_APP_CAPTION, appCaption_, sizeof appCaption_);

    if (!CheckPlatform()) {
        ShowCatalogueWarning(MSG_UNSUPPORTED_OS, WarningOwner::None);
        return EXIT_REFUSED;
    }

    // The failed open alone decides: a mutex that appears between the open
    // and the creation is not taken for another instance.
    if (platform_.InstanceMutexExists()) {
        platform_.RaiseRunningInstance();
        return EXIT_REFUSED;
    }
    platform_.CreateInstanceMutex();

    // On these two silent failures the mutex stays open until the process ends.
    if (!platform_.RegisterMainClass()) return EXIT_NORMAL;
    const ScreenSize desktop = platform_.DesktopClientSize();
    if (!platform_.CreateMainWindow(desktop.width / 2, desktop.height / 2, appCaption_)) return EXIT_NORMAL;

    const int code = platform_.RunEventLoop();
    platform_.CloseInstanceMutex();
    return code;
}

void Shell::DeferredStart() {
    // Only the posted signal starts the dialog; a real destruction of the
    // main window (its owned dialog then goes with it) must not start a second one.
    if (started_) return;
    started_ = true;

    if (LoadFirmwareImage() != 0) {
        platform_.RunDialog(image_);
    } else {
        ShowCatalogueWarning(MSG_IMAGE_UNREADABLE, WarningOwner::MainWindow);
    }
    platform_.PostQuit(EXIT_NORMAL);
}

bool Shell::CheckPlatform() {
    const std::uint32_t id = platform_.PlatformId();
    return id == PLATFORM_WIN32_WINDOWS || id == PLATFORM_WIN32_NT;
}

std::uint32_t Shell::LoadFirmwareImage() {
    const FirmwareImage located = platform_.LocateFirmwareImage();
    if (located.data == nullptr || located.size == 0) {
        image_ = {};
        return 0;
    }
    image_ = located;
    return image_.size;
}

void Shell::ShowCatalogueWarning(unsigned message, WarningOwner owner) {
    char text[WARNING_TEXT_SIZE];
    messages_.LoadMessage(message, text, sizeof text);
    platform_.ShowWarning(text, appCaption_, owner);
}
