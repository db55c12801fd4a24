#include "platform/win32/application_win32.h"

#include <memory>
#include <string>

#include "platform/win32/file_system_win32.h"
#include "platform/win32/form_window.h"

namespace ombrix {

InstanceClaim Win32Application::claimInstance(const std::wstring& lockPath) {
    // Shared with nobody: a second open fails with a sharing violation while this run lives.
    // Deleted on close, also when the process is ended from outside. A link planted under the
    // name is opened (and deleted) itself, never followed to its target.
    instanceLock_.reset(CreateFileW(ExtendedLengthPath(lockPath).c_str(),
                                    GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    if (instanceLock_) {
        return InstanceClaim::Claimed;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION ? InstanceClaim::AnotherRunning
                                                     : InstanceClaim::Failed;
}

void Win32Application::pumpEvents() {
    const DWORD now = GetTickCount();
    if (pumped_ && now - lastPump_ < kPumpIntervalMs) {
        return;
    }
    pumpEventsNow();
}

void Win32Application::pumpEventsNow() {
    pumped_ = true;
    lastPump_ = GetTickCount();
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Meant for the outermost loop: leave it in the queue for that one.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        DispatchQueuedMessage(message);
    }
}

void Win32Application::exitNow(int code) {
    // Ends at once, as the caller asks: every file of the run is closed by now. ExitProcess
    // would first cut off the other threads (WinINet's among them) wherever they are and then
    // run the libraries' detach code, which may wait on what they held; under Wine such an end
    // sometimes outlasted the server's grace and the process was killed without its code.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ExitProcess(static_cast<UINT>(code));  // only if the call above failed
}

void DispatchQueuedMessage(MSG& message) {
    if (HandleFormKeyboard(message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

int RunMessageLoop() {
    MSG message{};
    while (OpenFormCount() > 0) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(message.wParam);
        }
        if (got == -1) {
            return 1;
        }
        DispatchQueuedMessage(message);
    }
    return 0;
}

}  // namespace ombrix
