#include "platform/win32/application_win32.h"

#include <memory>
#include <string>

#include "platform/win32/form_window.h"
#include "platform/win32/system_error_text.h"

namespace ombrix {
namespace {

std::wstring FolderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

Win32Application::Win32Application(const std::wstring& instanceMutexName) {
    SetLastError(ERROR_SUCCESS);
    instanceMutex_.reset(CreateMutexW(nullptr, FALSE, instanceMutexName.c_str()));
    const DWORD error = GetLastError();
    // Access denied: the mutex exists, made by an instance running with other rights.
    anotherInstance_ =
        error == ERROR_ALREADY_EXISTS || (!instanceMutex_ && error == ERROR_ACCESS_DENIED);
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
    ExitProcess(static_cast<UINT>(code));
}

std::optional<std::wstring> Win32Application::startProgram(const std::wstring& path) {
    std::wstring commandLine = L"\"" + path + L"\"";
    const std::wstring folder = FolderOf(path);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
        return SystemErrorText(GetLastError());
    }
    const unique_handle process(started.hProcess);
    const unique_handle thread(started.hThread);
    // We hold the foreground (the user just answered us): let the program take it over.
    AllowSetForegroundWindow(started.dwProcessId);
    return std::nullopt;
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
