// The runtime: one instance, the pump's cost and latency, starting programs, the
// message loop's end.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/win32/application_win32.h"
#include "platform/win32/form_window.h"
#include "platform/win32/launcher_win32.h"
#include "tests/win32_check/check.h"
#include "tests/ui_win32/support.h"
#include "resources/update_forms.h"

namespace ombrix::uitest {
namespace {

// A new, empty folder in the temporary folder.
std::wstring NewTempFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"ombrix-ui-" + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring ReadWideFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t buffer[1024] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer) - sizeof(wchar_t), &read, nullptr);
    CloseHandle(file);
    return std::wstring(buffer, read / sizeof(wchar_t));
}

}  // namespace

WIN32_TEST(TheInstanceLockKeepsOutASecondRunOfTheSameFolderOnly) {
    const std::wstring lock = NewTempFolder(L"a") + L"\\Update.lock";
    const std::wstring otherLock = NewTempFolder(L"b") + L"\\Update.lock";
    {
        Win32Application first;
        CHECK(first.claimInstance(lock) == InstanceClaim::Claimed);
        Win32Application second;
        CHECK(second.claimInstance(lock) == InstanceClaim::AnotherRunning);
        CHECK(second.claimInstance(otherLock) == InstanceClaim::Claimed);
    }
    CHECK(GetFileAttributesW(lock.c_str()) == INVALID_FILE_ATTRIBUTES);  // nothing left behind
    CHECK(GetFileAttributesW(otherLock.c_str()) == INVALID_FILE_ATTRIBUTES);
    Win32Application later;
    CHECK(later.claimInstance(lock) == InstanceClaim::Claimed);
    CHECK(later.claimInstance(lock + L"-missing\\Update.lock") == InstanceClaim::Failed);
}

WIN32_TEST(ALockLeftBehindIsTakenOverWhenNobodyHoldsIt) {
    const std::wstring lock = NewTempFolder(L"c") + L"\\Update.lock";
    // As a power cut leaves it: a plain file with its folder's access.
    unique_hfile left(CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT(static_cast<bool>(left));
    left.reset();
    {
        const unique_hfile reader(CreateFileW(lock.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT(static_cast<bool>(reader));
        Win32Application held;
        CHECK(held.claimInstance(lock) == InstanceClaim::AnotherRunning);
    }
    {
        Win32Application taken;
        // Made anew with its own access (the call takes it) and shared with nobody.
        CHECK(taken.claimInstance(lock) == InstanceClaim::Claimed);
        CHECK((GetFileAttributesW(lock.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0);
        const unique_hfile other(CreateFileW(
            lock.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        CHECK(!other && GetLastError() == ERROR_SHARING_VIOLATION);
    }
    CHECK(GetFileAttributesW(lock.c_str()) == INVALID_FILE_ATTRIBUTES);
}

WIN32_TEST(PumpIsCheapWhenCalledPerChunkAndStillAnswers) {
    Win32Application app;
    Recorder events;
    FormWindow form(forms::kForm1, events);

    // A quarter of a million calls, as many as 256 MiB in 1 KiB chunks: looking at the queue
    // every time would take seconds under Wine.
    const DWORD start = GetTickCount();
    for (int i = 0; i < 262'144; ++i) {
        app.pumpEvents();
    }
    CHECK(GetTickCount() - start < 1000);

    // A waiting event is handled within 20 ms by a caller that pumps all the time (best of a
    // few tries, so that a busy machine does not decide it).
    DWORD best = 1000;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        app.pumpEvents();
        PostMessageW(form.handle(), WM_TIMER, attempt, 0);
        const std::wstring handled = L"timer " + std::to_wstring(attempt);
        const DWORD posted = GetTickCount();
        while (events.count(handled) == 0 && GetTickCount() - posted < 1000) {
            app.pumpEvents();
        }
        CHECK_EQ(events.count(handled), 1);
        best = std::min(best, GetTickCount() - posted);
    }
    CHECK(best <= 20);
}

WIN32_TEST(PumpLeavesAQuitForTheOutermostLoop) {
    Win32Application app;
    PostQuitMessage(7);
    app.pumpEventsNow();
    app.pumpEvents();
    MSG message{};
    CHECK(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK_EQ(message.wParam, WPARAM{7});
}

WIN32_TEST(PumpAfterAWaitHandlesAtOnce) {
    Win32Application app;
    Recorder events;
    FormWindow form(forms::kForm1, events);
    app.pumpEvents();
    PostMessageW(form.handle(), WM_TIMER, 5, 0);
    // Just pumped: the throttled pump may leave it, the one after a wait must not.
    app.pumpEventsNow();
    CHECK_EQ(events.count(L"timer 5"), 1);
}

WIN32_TEST(StartProgramStartsInANormalWindowOrSaysWhyNot) {
    Win32Launcher launcher;
    const auto missing = launcher.start(L"C:\\no such folder\\Ombrix.exe", false);
    CHECK(!missing.process && !missing.failure.empty());

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring marker =
        std::wstring(temp) + L"ombrix-ui-child-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(marker.c_str());
    SetEnvironmentVariableW(kChildMarkerVariable, marker.c_str());
    const auto started = launcher.start(self, false);
    SetEnvironmentVariableW(kChildMarkerVariable, nullptr);
    CHECK(started.process != nullptr);

    std::wstring seen;
    PumpUntil([&] { return !(seen = ReadWideFile(marker)).empty(); }, 10000);
    DeleteFileW(marker.c_str());
    const std::wstring selfPath = self;
    const std::wstring folder = selfPath.substr(0, selfPath.find_last_of(L'\\'));
    CHECK_EQ(seen, std::to_wstring(SW_SHOWNORMAL) + L"\n" + folder + L"\n");
}

WIN32_TEST(MessageLoopEndsWithTheLastForm) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    events.react = [&](const std::wstring& event) {
        if (event == L"timer 10") {
            form.close();
        }
    };
    PostMessageW(form.handle(), WM_TIMER, 10, 0);
    CHECK_EQ(RunMessageLoop(), 0);
    CHECK(form.handle() == nullptr);
}

}  // namespace ombrix::uitest
