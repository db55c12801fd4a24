// The process service on a real process: a copy of this program, under a Chinese name, found in
// the snapshot, opened, terminated and waited for.
#include <windows.h>

#include <algorithm>

#include "checks.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/unique_handle.h"

namespace ombrix::test {

namespace {

constexpr wchar_t kHelperName[] = L"Ombrix 助手 helper.exe";
constexpr DWORD kHelperLifetimeMs = 60 * 1000;

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

const ProcessEntry* FindEntry(const std::vector<ProcessEntry>& entries, std::uint32_t id) {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [id](const ProcessEntry& e) { return e.id == id; });
    return found == entries.end() ? nullptr : &*found;
}

bool WaitUntilExited(ProcessHandle& process, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!process.hasExited()) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(10);
    }
    return true;
}

}  // namespace

int RunWaitingHelper() {
    Sleep(kHelperLifetimeMs);
    return 0;
}

void CheckProcesses(const std::wstring& selfPath, const std::wstring& workFolder) {
    Section(L"processes");
    Win32Processes processes;

    const auto before = processes.snapshot();
    ASSERT(before.has_value());
    const ProcessEntry* self = FindEntry(*before, GetCurrentProcessId());
    CHECK(self != nullptr && SameText(self->exeName, selfPath.substr(selfPath.rfind(L'\\') + 1)));

    const std::wstring helperPath = workFolder + L"\\" + kHelperName;
    ASSERT(CopyFileW(selfPath.c_str(), helperPath.c_str(), FALSE));
    std::wstring commandLine = L"\"" + helperPath + L"\" --wait";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CHECK(CreateProcessW(helperPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                              CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started))) {
        return;
    }
    const unique_handle helper(started.hProcess);
    const unique_handle helperThread(started.hThread);

    const auto during = processes.snapshot();
    if (CHECK(during.has_value())) {
        const ProcessEntry* entry = FindEntry(*during, started.dwProcessId);
        CHECK_DETAIL(entry != nullptr && entry->exeName == kHelperName,
                     entry != nullptr ? entry->exeName : L"not listed");
    }

    const auto opened = processes.open(started.dwProcessId);
    if (CHECK(opened != nullptr)) {
        const auto image = opened->imagePath();
        CHECK_DETAIL(image.has_value() && SameText(*image, helperPath), image.value_or(L"none"));
        CHECK(!opened->hasExited() && !opened->exitCode().has_value());
        CHECK(opened->terminate(7));
        CHECK(WaitUntilExited(*opened, 5000));
        CHECK(opened->exitCode() == 7u);
        DWORD code = 0;
        CHECK(GetExitCodeProcess(helper.get(), &code) && code == 7);
        const auto after = processes.snapshot();
        CHECK(after.has_value() && FindEntry(*after, started.dwProcessId) == nullptr);
    } else {
        TerminateProcess(helper.get(), 1);
    }
    WaitForSingleObject(helper.get(), 5000);

    // An id that names no process.
    CHECK(processes.open(0xFFFFFFF0u) == nullptr);
}

}  // namespace ombrix::test
