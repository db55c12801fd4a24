#include "platform/win32/processes_win32.h"

#include <windows.h>
#include <tlhelp32.h>

#include <utility>

#include "platform/win32/unique_handle.h"

namespace ombrix {

namespace {

// Long enough for any path the system can return, extended-length ones included.
constexpr DWORD kMaxImagePath = 32768;

class Win32ProcessHandle : public ProcessHandle {
  public:
    explicit Win32ProcessHandle(unique_handle process) : process_(std::move(process)) {}

    std::optional<std::wstring> imagePath() override {
        std::wstring path(kMaxImagePath, L'\0');
        DWORD length = kMaxImagePath;
        if (!QueryFullProcessImageNameW(process_.get(), 0, path.data(), &length)) {
            return std::nullopt;
        }
        path.resize(length);
        return path;
    }

    bool terminate(std::uint32_t exitCode) override {
        return TerminateProcess(process_.get(), exitCode) != FALSE;
    }

    bool hasExited() override { return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }

    std::optional<std::uint32_t> exitCode() override {
        DWORD code = 0;
        // STILL_ACTIVE is also a possible status: the handle's signal tells an ended process.
        if (!hasExited() || !GetExitCodeProcess(process_.get(), &code)) {
            return std::nullopt;
        }
        return code;
    }

    bool waitingForInput() override { return WaitForInputIdle(process_.get(), 0) == 0; }

  private:
    unique_handle process_;
};

HWND AsWindow(WindowId window) {
    return reinterpret_cast<HWND>(window);
}

struct WindowSearch {
    DWORD processId;
    std::vector<WindowId> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM search) {
    auto& s = *reinterpret_cast<WindowSearch*>(search);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == s.processId) {
        s.found.push_back(reinterpret_cast<WindowId>(window));
    }
    return TRUE;
}

}  // namespace

std::unique_ptr<ProcessHandle> AdoptProcess(unique_handle process) {
    return std::make_unique<Win32ProcessHandle>(std::move(process));
}

std::optional<std::vector<ProcessEntry>> Win32Processes::snapshot() {
    const unique_hfile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) {
        return std::nullopt;
    }
    std::vector<ProcessEntry> entries;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap.get(), &entry); more;
         more = Process32NextW(snap.get(), &entry)) {
        entries.push_back({entry.th32ProcessID, entry.szExeFile});
    }
    return entries;
}

std::unique_ptr<ProcessHandle> Win32Processes::open(std::uint32_t id) {
    unique_handle process(OpenProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process) {
        return nullptr;
    }
    return std::make_unique<Win32ProcessHandle>(std::move(process));
}

std::vector<WindowId> Win32Processes::windowsOf(std::uint32_t processId) {
    WindowSearch search{processId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Win32Processes::askToEnd(WindowId window, unsigned timeoutMs) {
    DWORD_PTR answer = 0;
    const LRESULT sent =
        SendMessageTimeoutW(AsWindow(window), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP,
                            SMTO_ABORTIFHUNG, timeoutMs, &answer);
    return sent != 0 && answer != 0;
}

void Win32Processes::tellEnd(WindowId window, bool ending, unsigned timeoutMs) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(AsWindow(window), WM_ENDSESSION, ending ? TRUE : FALSE, ENDSESSION_CLOSEAPP,
                        SMTO_ABORTIFHUNG, timeoutMs, &ignored);
}

void Win32Processes::close(WindowId window) {
    PostMessageW(AsWindow(window), WM_CLOSE, 0, 0);
}

bool Win32Processes::windowExists(WindowId window) {
    return IsWindow(AsWindow(window)) != FALSE;
}

}  // namespace ombrix
