#include "bench/probe/thread_windows.h"

#include <vector>

namespace ombrix::bench {
namespace {

BOOL CALLBACK collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

HWND findThreadWindow(DWORD threadId, const automate::WindowQuery& query) {
    std::vector<HWND> windows;
    EnumThreadWindows(threadId, collect, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        if (query.matches(window)) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace ombrix::bench
