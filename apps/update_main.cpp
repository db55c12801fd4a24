// Update.exe: one update run. Wires the Win32 services into the updater's logic, loads the
// main window and runs the message loop; the logic ends the process with its exit code.
#include <windows.h>
#include <imm.h>
#include <objbase.h>

#include <exception>
#include <string>

#include "apps/event_relay.h"
#include "apps/release_keys.h"
#include "platform/win32/application_win32.h"
#include "platform/win32/clock_win32.h"
#include "platform/win32/dpi_win32.h"
#include "platform/win32/ecdsa_cng.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/machines_win32.h"
#include "platform/win32/form_window.h"
#include "platform/win32/hashing_win32.h"
#include "platform/win32/launcher_win32.h"
#include "platform/win32/message_boxes_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/program_folder_win32.h"
#include "platform/win32/progress_bar_win32.h"
#include "platform/win32/signatures_win32.h"
#include "platform/win32/system_library.h"
#include "platform/win32/taskbar_win32.h"
#include "platform/win32/transfer_wininet.h"
#include "platform/taskbar_mirror.h"
#include "resources/update_forms.h"
#include "updater/Form1.h"
#include "updater/Texts.h"

namespace {

// The program never ends silently: whatever escapes is shown under the application's title.
[[noreturn]] void ReportRuntimeError(const std::wstring& description) {
    const std::wstring text = ombrix::updater::texts::kRuntimeErrorPrefix + description;
    MessageBoxW(nullptr, text.c_str(), ombrix::updater::texts::kApplicationTitle,
                MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    ExitProcess(ombrix::updater::kExitFailed);
}

std::wstring Widen(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 1) {
        return L"unknown error";
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    wchar_t description[64];
    wsprintfW(description, L"exception 0x%08lX", info->ExceptionRecord->ExceptionCode);
    ReportRuntimeError(description);
}

int RunUpdate() {
    using namespace ombrix;
    Win32Application app;
    const auto onError = [](const std::exception& error) {
        ReportRuntimeError(Widen(error.what()));
    };
    EventRelay relay(onError);
    EventRelay form2Relay(onError);
    FormWindow form(forms::kForm1, relay);
    Win32ProgressBar progressBar(form, form1::ProgressBar1);
    Win32TaskbarProgress taskbarButton([&form] { return form.handle(); });
    TaskbarMirror taskbar(progressBar, taskbarButton);
    Win32MessageBoxes boxes([&form] { return form.handle(); }, updater::texts::kApplicationTitle);
    Win32FileSystem files;
    Win32ProgramFolder folder;
    Win32Processes processes;
    Win32Clock clock([&app] { app.pumpEventsNow(); });
    Win32Signatures signatures;
    Win32Machines machines;
    Win32Launcher launcher;
    Win32Hashing hashing;
    WinInetTransfer inet(relay, [&app] { app.pumpEventsNow(); });

    updater::Services services{app,
                               clock,
                               boxes,
                               files,
                               folder,
                               processes,
                               form,
                               taskbar,
                               taskbar,
                               inet,
                               signatures,
                               machines,
                               launcher,
                               hashing,
                               [&form2Relay](WindowEvents& events) -> std::unique_ptr<Window> {
                                   form2Relay.setTarget(&events);
                                   return std::make_unique<FormWindow>(forms::kForm2, form2Relay);
                               }};
    CngEcdsa ecdsa;
    services.releaseKeys = BuiltInReleaseKeys();
    services.ecdsa = &ecdsa;
    updater::Form1 logic(services);
    relay.setTarget(&logic);
    relay.setTransferTarget(&logic);

    logic.Load();
    form.show();
    return RunMessageLoop();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ombrix::KeepLibrarySearchInSystemFolder();
    SetUnhandledExceptionFilter(ReportCrash);
    ombrix::BecomeDpiAware();
    // The accessibility annotations and the taskbar button are COM objects of this thread. The
    // process ends without leaving the apartment: nothing of it outlives the process.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Nothing here takes typed text; without an input method the process stays smaller.
    ImmDisableIME(static_cast<DWORD>(-1));
    try {
        return RunUpdate();
    } catch (const std::exception& error) {
        ReportRuntimeError(Widen(error.what()));
    }
}
