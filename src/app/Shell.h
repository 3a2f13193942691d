// The application shell: the start-up checks, the single instance, the
// hidden main window, the embedded image and the run of the dialog, in the
// order the program goes through them, and the exit codes they end with.
#pragma once

#include <cstdint>

#include "ports/FirmwareImage.h"
#include "ports/MessagePort.h"
#include "ports/ShellPort.h"

constexpr int APP_CAPTION_SIZE = 256;
constexpr int WARNING_TEXT_SIZE = 256;

// 0 after the dialog ran, when the image is missing and after a silent
// window failure; 1 when the platform is unsupported or another instance runs.
constexpr int EXIT_NORMAL = 0;
constexpr int EXIT_REFUSED = 1;

// The platform ids of the version query that the program runs on.
constexpr std::uint32_t PLATFORM_WIN32_WINDOWS = 1;  // the 9x family
constexpr std::uint32_t PLATFORM_WIN32_NT = 2;

class Shell {
public:
    Shell(ShellPort& platform, MessagePort& messages);

    // The whole life of the process; returns its exit code.
    int ProgramMain();
    // The main window's posted destroy event: loads the image and runs the
    // dialog (or says that the image cannot be read), then asks to quit.
    void DeferredStart();

    bool CheckPlatform();
    // Fills Image(); the image size, or 0 when it cannot be had.
    std::uint32_t LoadFirmwareImage();

    const char* AppCaption() const { return appCaption_; }
    const FirmwareImage& Image() const { return image_; }

private:
    void ShowCatalogueWarning(unsigned message, WarningOwner owner);

    ShellPort& platform_;
    MessagePort& messages_;
    char appCaption_[APP_CAPTION_SIZE] = {};
    FirmwareImage image_;
    bool started_ = false;
};
