// windowed_reader URL FILE ID TEXT: the floor of the updater's fixed cost. The plain reader's
// download on a thread of its own, started as the minimal window is made, as the updater
// starts its download. The window holds what the updater's cannot do without: a static
// control and the common controls' progress bar (version 6, by the manifest). When the
// download has ended the static control ID reads TEXT (or "failed"), and a moment later, long
// enough for the probe to read it, the program ends with the reader's exit code (2 on a wrong
// command line).
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "bench/reader/read_url.h"

namespace {

constexpr wchar_t kClassName[] = L"OmbrixBenchWindowedReader";
constexpr UINT kReadEnded = WM_APP + 1;
constexpr UINT_PTR kEndTimer = 1;
constexpr UINT kEndDelayMs = 300;

struct Run {
    const wchar_t* url;
    const wchar_t* path;
    int controlId;
    const wchar_t* text;
    HWND window = nullptr;
    int result = 1;
};

Run* g_run = nullptr;

DWORD WINAPI readThread(void* parameter) {
    auto* run = static_cast<Run*>(parameter);
    run->result = ombrix::bench::ReadUrl(run->url, run->path);
    PostMessageW(run->window, kReadEnded, 0, 0);
    return 0;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kReadEnded:
            SetDlgItemTextW(window, g_run->controlId, g_run->result == 0 ? g_run->text : L"failed");
            SetTimer(window, kEndTimer, kEndDelayMs, nullptr);
            return 0;
        case WM_TIMER:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(g_run->result);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    if (__argc != 5) {
        return 2;
    }
    Run run{__wargv[1], __wargv[2], _wtoi(__wargv[3]), __wargv[4]};
    g_run = &run;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass)) {
        return 1;
    }
    run.window =
        CreateWindowExW(0, kClassName, L"Ombrix bench windowed reader", WS_POPUP | WS_BORDER, 340,
                        280, 340, 100, nullptr, nullptr, instance, nullptr);
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    if (run.window == nullptr || !InitCommonControlsEx(&controls) ||
        !CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 40, 320, 20, run.window,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(run.controlId)), instance,
                         nullptr) ||
        !CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 70, 320, 16,
                         run.window, nullptr, instance, nullptr)) {
        return 1;
    }
    HANDLE thread = CreateThread(nullptr, 0, readThread, &run, 0, nullptr);
    if (thread == nullptr) {
        return 1;
    }
    ShowWindow(run.window, show);
    UpdateWindow(run.window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return static_cast<int>(message.wParam);
}
