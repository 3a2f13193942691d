// The process entry. The command line is ignored; mingw's start-up code
// hands over the show command of the start-up information (SW_SHOWDEFAULT
// when it carries none).
#include "Win32Api.h"
#include "Win32MessagePort.h"
#include "Win32Shell.h"
#include "app/Shell.h"
#include "registry/ModelTable.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    const ModelTable models;
    Win32MessagePort messages(instance);
    Win32Shell platform(instance, showCommand, models);
    Shell shell(platform, messages);
    platform.Attach(shell);
    return shell.ProgramMain();
}
