// A stand-in for the product executable in end-to-end tests. Each start appends one UTF-8 line
// to "product.log" next to the executable:
//   version TAB process-id TAB program-name TAB command-tail LF
// program-name is the first word of GetCommandLineW as written (quotes kept); command-tail is
// everything after it and the blanks that follow it, unchanged. Then the program waits until
// it is terminated, like a product that the user keeps open.
#include <windows.h>

#include <string>

#include "platform/win32/unique_handle.h"

#ifndef OMBRIX_FAKE_VERSION
#error "OMBRIX_FAKE_VERSION must name the version text, e.g. L\"old\""
#endif

namespace ombrix {
namespace {

// Splits the command line the way the C runtime finds argv[0]: a quoted name runs to the next
// quote, an unquoted one to the first blank or tab.
void splitCommandLine(const std::wstring& line, std::wstring& program, std::wstring& tail) {
    size_t end = 0;
    if (!line.empty() && line[0] == L'"') {
        const size_t close = line.find(L'"', 1);
        end = close == std::wstring::npos ? line.size() : close + 1;
    } else {
        end = line.find_first_of(L" \t");
        if (end == std::wstring::npos) {
            end = line.size();
        }
    }
    program = line.substr(0, end);
    size_t start = line.find_first_not_of(L" \t", end);
    tail = start == std::wstring::npos ? std::wstring() : line.substr(start);
}

std::wstring folderOfThisProgram() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// One write in append mode, so that lines of products started together never interleave.
bool appendLine(const std::wstring& path, const std::string& line) {
    const unique_hfile file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
}

}  // namespace
}  // namespace ombrix

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring program;
    std::wstring tail;
    ombrix::splitCommandLine(GetCommandLineW(), program, tail);
    const std::wstring line = std::wstring(OMBRIX_FAKE_VERSION) + L"\t" +
                              std::to_wstring(GetCurrentProcessId()) + L"\t" + program + L"\t" +
                              tail + L"\n";
    if (!ombrix::appendLine(ombrix::folderOfThisProgram() + L"\\product.log",
                            ombrix::toUtf8(line))) {
        return 2;
    }
    Sleep(INFINITE);
    return 0;
}
