// What the application shell needs of the platform: the version query, the
// single-instance mutex, the hidden main window and its event loop, the
// embedded image, message boxes and the modal dialog.
#pragma once

#include <cstdint>

#include "FirmwareImage.h"

struct ScreenSize {
    int width = 0;
    int height = 0;
};

enum class WarningOwner { None, MainWindow };

class ShellPort {
public:
    virtual ~ShellPort() = default;

    // The platform id of the operating-system version query; 0 when the
    // query fails (the zeroed version information reads as id 0).
    virtual std::uint32_t PlatformId() = 0;

    // Whether the named single-instance mutex can be opened, i.e. exists.
    virtual bool InstanceMutexExists() = 0;
    // Creates the named mutex, not owned, and holds its handle.
    virtual void CreateInstanceMutex() = 0;
    virtual void CloseInstanceMutex() = 0;
    // Looks for the running instance's main window by its class alone; when
    // there is one, makes it the foreground window and then restores it.
    virtual void RaiseRunningInstance() = 0;

    virtual bool RegisterMainClass() = 0;
    // Size of the desktop window's client area.
    virtual ScreenSize DesktopClientSize() = 0;
    // Creates the zero-size main window with its top-left corner at (x, y)
    // and `caption` as title (its creation posts the deferred start), then
    // shows it with the start-up show command and paints it. false when the
    // window could not be created.
    virtual bool CreateMainWindow(int x, int y, const char* caption) = 0;
    // Runs the thread's event loop until the quit request; returns its code.
    virtual int RunEventLoop() = 0;
    virtual void PostQuit(int code) = 0;

    // The embedded image resource located in place: its bytes and size, or
    // a null `data` when it is missing or cannot be loaded.
    virtual FirmwareImage LocateFirmwareImage() = 0;
    // Runs the operator dialog modally, owned by the main window, until it ends.
    virtual void RunDialog(const FirmwareImage& image) = 0;
    // A message box with the warning icon and an OK button; returns when dismissed.
    virtual void ShowWarning(const char* text, const char* caption, WarningOwner owner) = 0;
};
