#include "platform/win32/program_folder_win32.h"

#include <windows.h>

#include <vector>

namespace ombrix {

std::wstring Win32ProgramFolder::path() {
    // Grow the buffer until the whole path fits: program folders may be long.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return L".";
        }
        if (length < buffer.size()) {
            std::wstring file(buffer.data(), length);
            const auto slash = file.find_last_of(L"\\/");
            return slash == std::wstring::npos ? L"." : file.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace ombrix
