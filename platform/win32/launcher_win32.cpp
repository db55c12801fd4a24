#include "platform/win32/launcher_win32.h"

#include <windows.h>

#include <vector>

#include "platform/win32/processes_win32.h"
#include "platform/win32/system_error_text.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {
namespace {

std::wstring FolderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

unique_handle ShellProcessToken(DWORD access) {
    HWND shell = GetShellWindow();
    DWORD shellId = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &shellId) || shellId == 0) {
        return unique_handle();
    }
    const unique_handle process =
        unique_handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
    HANDLE token = nullptr;
    if (!process || !OpenProcessToken(process.get(), access, &token)) {
        return unique_handle();
    }
    return unique_handle(token);
}

bool IsElevated(HANDLE token) {
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

std::vector<BYTE> TokenUser(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, ::TokenUser, user.data(), size, &size)) {
        return {};
    }
    return user;
}

bool SameUser(HANDLE a, HANDLE b) {
    const auto userA = TokenUser(a);
    const auto userB = TokenUser(b);
    return !userA.empty() && !userB.empty() &&
           EqualSid(reinterpret_cast<const TOKEN_USER*>(userA.data())->User.Sid,
                    reinterpret_cast<const TOKEN_USER*>(userB.data())->User.Sid);
}

// While it lives, programs started by this process do not wait in an error report when they
// crash; they end with the exception's status, which the starter can read.
class CrashesEndAtOnce {
  public:
    CrashesEndAtOnce()
        : previous_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                                 SEM_NOOPENFILEERRORBOX)) {}
    ~CrashesEndAtOnce() { SetErrorMode(previous_); }
    CrashesEndAtOnce(const CrashesEndAtOnce&) = delete;
    CrashesEndAtOnce& operator=(const CrashesEndAtOnce&) = delete;

  private:
    UINT previous_;
};

}  // namespace

LaunchContext Win32Launcher::context() {
    LaunchContext context;
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) {
        return context;
    }
    const unique_handle ownToken(own);
    context.elevated = IsElevated(own);
    const unique_handle shellToken = ShellProcessToken(TOKEN_QUERY);
    if (shellToken) {
        context.shellFound = true;
        context.shellElevated = IsElevated(shellToken.get());
        context.shellSameUser = SameUser(own, shellToken.get());
    }
    return context;
}

Started Win32Launcher::start(const std::wstring& path, bool asShellUser) {
    std::wstring commandLine = L"\"" + path + L"\"";
    const std::wstring folder = FolderOf(path);
    const wchar_t* directory = folder.empty() ? nullptr : folder.c_str();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    BOOL ok = FALSE;
    if (asShellUser) {
        const unique_handle shellToken =
            ShellProcessToken(TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY);
        HANDLE primary = nullptr;
        if (!shellToken ||
            !DuplicateTokenEx(shellToken.get(),
                              TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY |
                                  TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
                              nullptr, SecurityImpersonation, TokenPrimary, &primary)) {
            return {nullptr, SystemErrorText(GetLastError())};
        }
        const unique_handle token(primary);
        ok = CreateProcessWithTokenW(token.get(), 0, path.c_str(), commandLine.data(),
                                     CREATE_UNICODE_ENVIRONMENT, nullptr, directory, &startup,
                                     &started);
    } else {
        const CrashesEndAtOnce errorMode;
        ok = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            directory, &startup, &started);
    }
    if (!ok) {
        return {nullptr, SystemErrorText(GetLastError())};
    }
    const unique_handle thread(started.hThread);
    // We hold the foreground (the user just answered us): let the program take it over.
    AllowSetForegroundWindow(started.dwProcessId);
    return {AdoptProcess(unique_handle(started.hProcess)), L""};
}

}  // namespace ombrix
