// Brevik.exe: registers the product's documents and refreshes the shell's icons, showing
// nothing. The exit code tells an installer whether the registration was written.
#include <windows.h>

#include "platform/win32/program_folder_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/shell_notify_win32.h"
#include "platform/win32/system_library.h"
#include "registrar/Form1.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ombrix::KeepLibrarySearchInSystemFolder();
    ombrix::Win32Registry registry;
    ombrix::Win32ShellNotifier notifier;
    ombrix::Win32ProgramFolder folder;
    return ombrix::registrar::Form1Load(registry, notifier, folder);
}
