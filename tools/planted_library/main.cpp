// A library to plant beside a program under the name of a system library. Whenever a process
// loads it, it appends the name it was loaded under to "planted.log" in its own folder.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return TRUE;
    }
    wchar_t* name = path;
    for (wchar_t* at = path; *at != L'\0'; ++at) {
        if (*at == L'\\') {
            name = at + 1;
        }
    }
    char line[MAX_PATH];
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, name, -1, line, MAX_PATH - 1, nullptr, nullptr);
    if (size <= 0) {
        return TRUE;
    }
    line[size - 1] = '\n';  // in place of the terminating zero
    lstrcpyW(name, L"planted.log");
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(log, line, static_cast<DWORD>(size), &written, nullptr);
        CloseHandle(log);
    }
    return TRUE;
}
