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

  private:
    unique_handle process_;
};

}  // namespace

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

}  // namespace ombrix
