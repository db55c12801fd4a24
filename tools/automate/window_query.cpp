#include "tools/automate/window_query.h"

#include "tools/automate/console.h"
#include "tools/automate/deadline.h"

namespace ombrix::automate {
namespace {

constexpr UINT kSendTimeoutMs = 2000;

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

WindowQuery WindowQuery::fromArgs(const Args& args) {
    WindowQuery query;
    query.caption = args.text(L"caption");
    query.className = args.text(L"class");
    query.size = args.size(L"size");
    if (auto pid = args.number(L"pid")) {
        query.pid = static_cast<DWORD>(*pid);
    }
    if (auto hwnd = args.number(L"hwnd")) {
        query.hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(*hwnd));
    }
    query.visibleOnly = args.has(L"visible");
    return query;
}

bool WindowQuery::matches(HWND window) const {
    if (hwnd && window != *hwnd) {
        return false;
    }
    if (visibleOnly && !IsWindowVisible(window)) {
        return false;
    }
    if (pid && windowProcess(window) != *pid) {
        return false;
    }
    if (className && windowClass(window) != *className) {
        return false;
    }
    if (size) {
        RECT rect{};
        GetWindowRect(window, &rect);
        if (rect.right - rect.left != size->width || rect.bottom - rect.top != size->height) {
            return false;
        }
    }
    return !caption || windowText(window) == *caption;
}

std::wstring WindowQuery::describe() const {
    std::wstring out = L"window";
    if (caption) {
        out += L" caption \"" + *caption + L"\"";
    }
    if (className) {
        out += L" class \"" + *className + L"\"";
    }
    if (size) {
        out += L" size " + std::to_wstring(size->width) + L"x" + std::to_wstring(size->height);
    }
    if (pid) {
        out += L" pid " + std::to_wstring(*pid);
    }
    if (visibleOnly) {
        out += L" (visible)";
    }
    return out;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> descendants(HWND root) {
    std::vector<HWND> windows;
    EnumChildWindows(root, collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> findTopLevel(const WindowQuery& query) {
    std::vector<HWND> found;
    for (HWND window : topLevelWindows()) {
        if (query.matches(window)) {
            found.push_back(window);
        }
    }
    return found;
}

HWND waitTopLevel(const WindowQuery& query, DWORD timeoutMs) {
    const Deadline deadline(timeoutMs);
    for (;;) {
        const auto found = findTopLevel(query);
        if (!found.empty()) {
            return found.front();
        }
        if (deadline.passed()) {
            throw Failure{TimedOut, L"no " + query.describe() + L" within " +
                                        std::to_wstring(timeoutMs) + L" ms"};
        }
        Sleep(kPollMs);
    }
}

HWND findControl(HWND root, int id) {
    for (HWND window : descendants(root)) {
        if (GetDlgCtrlID(window) == id) {
            return window;
        }
    }
    return nullptr;
}

DWORD timeoutOf(const Args& args, DWORD fallbackMs) {
    return static_cast<DWORD>(args.numberOr(L"timeout", fallbackMs));
}

HWND locateTarget(const Args& args) {
    const auto query = WindowQuery::fromArgs(args);
    const DWORD timeoutMs = timeoutOf(args, 5000);
    const Deadline deadline(timeoutMs);
    HWND top = waitTopLevel(query, timeoutMs);
    const auto id = args.number(L"id");
    if (!id) {
        return top;
    }
    for (;;) {
        if (HWND control = findControl(top, static_cast<int>(*id))) {
            return control;
        }
        if (deadline.passed()) {
            throw Failure{Failed, L"no control with ID " + std::to_wstring(*id) + L" below the " +
                                      query.describe()};
        }
        Sleep(kPollMs);
    }
}

std::wstring windowText(HWND window) {
    HWND parent = GetAncestor(window, GA_PARENT);
    if (parent == nullptr || parent == GetDesktopWindow()) {
        // A caption is kept by the system: reading it needs no answer from a window that may
        // be busy, which matters while scanning every top-level window.
        std::wstring caption(512, L'\0');
        const int length = GetWindowTextW(window, caption.data(), static_cast<int>(caption.size()));
        caption.resize(length > 0 ? static_cast<size_t>(length) : 0);
        return caption;
    }
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return {};
    }
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

std::wstring windowClass(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

DWORD windowProcess(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::string rectJson(const RECT& rect) {
    JsonLine json;
    json.addInt("left", rect.left)
        .addInt("top", rect.top)
        .addInt("width", rect.right - rect.left)
        .addInt("height", rect.bottom - rect.top);
    return json.str();
}

JsonLine describeWindow(HWND window) {
    RECT screen{};
    GetWindowRect(window, &screen);
    // The place within the parent's client area is what a window definition states.
    RECT inParent = screen;
    HWND parent = GetAncestor(window, GA_PARENT);
    if (parent != nullptr && parent != GetDesktopWindow()) {
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&inParent), 2);
    }
    RECT client{};
    GetClientRect(window, &client);
    JsonLine json;
    json.addInt("hwnd", reinterpret_cast<INT_PTR>(window))
        .addInt("id", GetDlgCtrlID(window))
        .addText("class", windowClass(window))
        .addText("text", windowText(window))
        .addBool("visible", IsWindowVisible(window) != FALSE)
        .addBool("enabled", IsWindowEnabled(window) != FALSE)
        .addRaw("rect", rectJson(screen))
        .addRaw("place", rectJson(inParent))
        .addRaw("client", rectJson(client))
        .addInt("style", static_cast<std::int64_t>(GetWindowLongW(window, GWL_STYLE)) & 0xFFFFFFFF)
        .addInt("exstyle",
                static_cast<std::int64_t>(GetWindowLongW(window, GWL_EXSTYLE)) & 0xFFFFFFFF)
        .addInt("pid", windowProcess(window));
    return json;
}

}  // namespace ombrix::automate
