// The shell's platform side: version query, named mutex, the hidden main
// window and its class, the event loop, the image resource, message boxes
// and the modal dialog.
#pragma once

#include "Win32Api.h"
#include "app/Shell.h"
#include "ports/ShellPort.h"
#include "registry/ModelTable.h"

class Win32Shell : public ShellPort {
public:
    Win32Shell(HINSTANCE instance, int showCommand, const ModelTable& models);

    // The shell whose DeferredStart the main window's destroy event calls.
    void Attach(Shell& shell) { shell_ = &shell; }

    std::uint32_t PlatformId() override;
    bool InstanceMutexExists() override;
    void CreateInstanceMutex() override;
    void CloseInstanceMutex() override;
    void RaiseRunningInstance() override;
    bool RegisterMainClass() override;
    ScreenSize DesktopClientSize() override;
    bool CreateMainWindow(int x, int y, const char* caption) override;
    int RunEventLoop() override;
    void PostQuit(int code) override;
    FirmwareImage LocateFirmwareImage() override;
    void RunDialog(const FirmwareImage& image) override;
    void ShowWarning(const char* text, const char* caption, WarningOwner owner) override;

private:
    HINSTANCE instance_;
    int showCommand_;
    const ModelTable& models_;
    Shell* shell_ = nullptr;
    HANDLE mutex_ = nullptr;
    HWND mainWindow_ = nullptr;
};
