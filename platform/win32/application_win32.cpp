#include "platform/win32/application_win32.h"

#include <memory>
#include <string>
#include <utility>

#include "platform/instance_lock.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/form_window.h"
#include "platform/win32/private_access_win32.h"

namespace ombrix {

namespace {

class Win32LockFile : public LockFile {
  public:
    Win32LockFile(std::wstring name, unique_hfile& held) : name_(std::move(name)), held_(held) {}

    Result create() override {
        PrivateAccess access;
        if (!access) {
            return Result::Failed;
        }
        // Made new with its own access (nobody else can open it at all), shared with nobody
        // while this run lives, deleted on close, also when the process is ended from outside.
        // CREATE_NEW follows no link planted under the name.
        held_.reset(CreateFileW(
            name_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, access.attributes(),
            CREATE_NEW,
            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (held_) {
            return Result::Done;
        }
        return GetLastError() == ERROR_FILE_EXISTS ? Result::Exists : Result::Failed;
    }

    Result removeLeftBehind() override {
        // A link is opened (and deleted) itself, never followed to its target.
        const unique_hfile left(
            CreateFileW(name_.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (left) {
            return Result::Done;  // gone with this handle
        }
        switch (GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
                return Result::Done;
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION:
                return Result::InUse;
            default:
                return Result::Failed;
        }
    }

  private:
    std::wstring name_;
    unique_hfile& held_;
};

}  // namespace

InstanceClaim Win32Application::claimInstance(const std::wstring& lockPath) {
    Win32LockFile lock(ExtendedLengthPath(lockPath), instanceLock_);
    return ClaimLock(lock);
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
