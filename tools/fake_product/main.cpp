// A stand-in for the product executable in end-to-end tests. Each start appends one UTF-8 line
// to "product.log" next to the executable:
//   version TAB process-id TAB program-name TAB command-tail LF
// program-name is the first word of GetCommandLineW as written (quotes kept); command-tail is
// everything after it and the blanks that follow it, unchanged. Then it runs like a product the
// user keeps open with an unsaved document, in the mode its command tail names:
//   (nothing)    a main window that saves when it is closed or the session ends, and agrees
//   refuses      a main window that says no to the session's end and to being closed
//   windowless   no window at all; it waits until it is terminated
// What happens to it goes, one line each, to "product-events.log" next to the executable:
//   process-id TAB event LF      (event: query yes|no, endsession 1|0, saved, close refused)
// The build with OMBRIX_FAKE_CRASH dies of an access violation right after its start line.
// OMBRIX_FAKE_REVISION 2 changes one function, as a release rebuilt with one fix would (the
// benchmarks' delta figure).
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
#if defined(OMBRIX_FAKE_REVISION) && OMBRIX_FAKE_REVISION >= 2
    if (length == 0 || length >= 32768) {
        return std::wstring();
    }
#endif
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

std::wstring g_events;
bool g_refuses = false;
bool g_saved = false;

void logEvent(const std::wstring& event) {
    appendLine(g_events, toUtf8(std::to_wstring(GetCurrentProcessId()) + L"\t" + event + L"\n"));
}

void save() {
    if (!g_saved) {
        g_saved = true;
        logEvent(L"saved");
    }
}

LRESULT CALLBACK ProductProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_QUERYENDSESSION:
            logEvent(g_refuses ? L"query no" : L"query yes");
            return g_refuses ? FALSE : TRUE;
        case WM_ENDSESSION:
            logEvent(wParam ? L"endsession 1" : L"endsession 0");
            if (wParam) {
                save();
            }
            return 0;
        case WM_CLOSE:
            if (g_refuses) {
                logEvent(L"close refused");
                return 0;
            }
            save();
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

int runWindow(HINSTANCE instance, int show) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProductProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"OmbrixFakeProduct";
    RegisterClassW(&windowClass);
    // In a corner, away from the updater's window that the tests drive with the mouse.
    HWND window =
        CreateWindowW(windowClass.lpszClassName, L"Ombrix fake product", WS_OVERLAPPEDWINDOW, 860,
                      640, 160, 100, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 3;
    }
    ShowWindow(window, show);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace
}  // namespace ombrix

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
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
#ifdef OMBRIX_FAKE_CRASH
    *static_cast<volatile int*>(nullptr) = 0;
#endif
    ombrix::g_events = ombrix::folderOfThisProgram() + L"\\product-events.log";
    if (tail == L"windowless") {
        Sleep(INFINITE);
        return 0;
    }
    ombrix::g_refuses = tail == L"refuses";
    return ombrix::runWindow(instance, show);
}
