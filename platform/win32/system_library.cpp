#include "platform/win32/system_library.h"

#include <string>

namespace ombrix {

void KeepLibrarySearchInSystemFolder() {
    // Looked up rather than imported: Windows 7 has it only with a later update, and a missing
    // import would keep the program from starting at all.
    BOOL(WINAPI * setDefaultDllDirectories)(DWORD) = nullptr;
    if (FindFunction(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories",
                     setDefaultDllDirectories) &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return;
    }
    // Without it, at least the current folder leaves the search.
    SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace ombrix
