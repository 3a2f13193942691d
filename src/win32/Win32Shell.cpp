#include "Win32Shell.h"

#include "DialogProc.h"
#include "MainWindow.h"
#include "ResourceIds.h"

namespace {
constexpr char INSTANCE_MUTEX_NAME[] = "TORVA_ZVR_FIRMWARE_UPDATE";
static_assert(sizeof(OSVERSIONINFOA) == 148);
}  // namespace

Win32Shell::Win32Shell(HINSTANCE instance, int showCommand, const ModelTable& models)
    : instance_(instance), showCommand_(showCommand), models_(models) {}

std::uint32_t Win32Shell::PlatformId() {
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);  // on failure the zeroed id 0 stays
    return version.dwPlatformId;
}

bool Win32Shell::InstanceMutexExists() {
    const HANDLE existing = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, INSTANCE_MUTEX_NAME);
    if (existing == nullptr) return false;
    CloseHandle(existing);
    return true;
}

void Win32Shell::CreateInstanceMutex() { mutex_ = CreateMutexA(nullptr, FALSE, INSTANCE_MUTEX_NAME); }

void Win32Shell::CloseInstanceMutex() {
    if (mutex_ != nullptr) CloseHandle(mutex_);
    mutex_ = nullptr;
}

void Win32Shell::RaiseRunningInstance() {
    const HWND running = FindWindowA(MAIN_WINDOW_CLASS, nullptr);
    if (running == nullptr) return;
    SetForegroundWindow(running);
    ShowWindow(running, SW_RESTORE);
}

bool Win32Shell::RegisterMainClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    return RegisterClassA(&windowClass) != 0;
}

ScreenSize Win32Shell::DesktopClientSize() {
    RECT desktop{};
    GetClientRect(GetDesktopWindow(), &desktop);
    return {desktop.right - desktop.left, desktop.bottom - desktop.top};
}

bool Win32Shell::CreateMainWindow(int x, int y, const char* caption) {
    mainWindow_ = CreateWindowExA(0, MAIN_WINDOW_CLASS, caption, WS_POPUPWINDOW, x, y, 0, 0, nullptr, nullptr,
                                  instance_, shell_);
    if (mainWindow_ == nullptr) return false;
    ShowWindow(mainWindow_, showCommand_);
    UpdateWindow(mainWindow_);
    return true;
}

int Win32Shell::RunEventLoop() {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

void Win32Shell::PostQuit(int code) { PostQuitMessage(code); }

FirmwareImage Win32Shell::LocateFirmwareImage() {
    const HRSRC resource = FindResourceA(instance_, MAKEINTRESOURCEA(IDR_FIRMWARE), RT_FIRMBIN_NAME);
    if (resource == nullptr) return {};
    const DWORD size = SizeofResource(instance_, resource);
    const HGLOBAL loaded = LoadResource(instance_, resource);
    if (loaded == nullptr) return {nullptr, size};
    return {static_cast<const std::uint8_t*>(LockResource(loaded)), size};
}

void Win32Shell::RunDialog(const FirmwareImage& image) {
    const DialogStart start{instance_, image, models_};
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_UPDATE), mainWindow_, DialogProc,
                    reinterpret_cast<LPARAM>(&start));
}

void Win32Shell::ShowWarning(const char* text, const char* caption, WarningOwner owner) {
    MessageBoxA(owner == WarningOwner::MainWindow ? mainWindow_ : nullptr, text, caption, MB_ICONWARNING | MB_OK);
}
