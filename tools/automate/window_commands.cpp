#include <windows.h>
#include <commctrl.h>

#include "tools/automate/commands.h"
#include "tools/automate/console.h"
#include "tools/automate/deadline.h"
#include "tools/automate/window_query.h"

namespace ombrix::automate {

int waitWindow(const Args& args) {
    writeLine(
        describeWindow(waitTopLevel(WindowQuery::fromArgs(args), timeoutOf(args, 10000))).str());
    return Ok;
}

int waitGone(const Args& args) {
    const auto query = WindowQuery::fromArgs(args);
    const DWORD timeoutMs = timeoutOf(args, 10000);
    const Deadline deadline(timeoutMs);
    while (!findTopLevel(query).empty()) {
        if (deadline.passed()) {
            throw Failure{TimedOut, query.describe() + L" still there after " +
                                        std::to_wstring(timeoutMs) + L" ms"};
        }
        Sleep(kPollMs);
    }
    writeLine(JsonLine().addBool("gone", true).str());
    return Ok;
}

int listWindows(const Args& args) {
    for (HWND window : findTopLevel(WindowQuery::fromArgs(args))) {
        auto line = describeWindow(window);
        HWND owner = GetWindow(window, GW_OWNER);
        line.addInt("owner", reinterpret_cast<INT_PTR>(owner));
        writeLine(line.str());
    }
    return Ok;
}

int listChildren(const Args& args) {
    HWND top = locateTarget(args);
    for (HWND child : descendants(top)) {
        auto line = describeWindow(child);
        HWND parent = GetAncestor(child, GA_PARENT);
        line.addInt("parent", reinterpret_cast<INT_PTR>(parent))
            .addInt("parent_id", parent == top ? 0 : GetDlgCtrlID(parent));
        writeLine(line.str());
    }
    return Ok;
}

int controlText(const Args& args) {
    HWND control = locateTarget(args);
    writeLine(JsonLine()
                  .addInt("id", GetDlgCtrlID(control))
                  .addText("text", windowText(control))
                  .addBool("visible", IsWindowVisible(control) != FALSE)
                  .str());
    return Ok;
}

// Waits until the text equals --equals (or contains --contains); for status lines that the
// program changes while it works.
int waitText(const Args& args) {
    HWND control = locateTarget(args);
    const auto equals = args.text(L"equals");
    const auto contains = args.text(L"contains");
    if (!equals && !contains) {
        throw Failure{Usage, L"wait-text needs --equals or --contains"};
    }
    const DWORD timeoutMs = timeoutOf(args, 10000);
    const Deadline deadline(timeoutMs);
    for (;;) {
        const std::wstring text = windowText(control);
        const bool done = equals ? text == *equals : text.find(*contains) != std::wstring::npos;
        if (done) {
            writeLine(JsonLine().addInt("id", GetDlgCtrlID(control)).addText("text", text).str());
            return Ok;
        }
        if (!IsWindow(control)) {
            throw Failure{Failed, L"the control went away; its last text was \"" + text + L"\""};
        }
        if (deadline.passed()) {
            throw Failure{TimedOut, L"text is still \"" + text + L"\" after " +
                                        std::to_wstring(timeoutMs) + L" ms"};
        }
        Sleep(kPollMs);
    }
}

int controlRect(const Args& args) {
    writeLine(describeWindow(locateTarget(args)).str());
    return Ok;
}

int focusedControl(const Args& args) {
    HWND top = locateTarget(args);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info)) {
        throw Failure{Failed, L"GetGUIThreadInfo failed: " + std::to_wstring(GetLastError())};
    }
    JsonLine line;
    line.addInt("active", reinterpret_cast<INT_PTR>(info.hwndActive))
        .addBool("foreground", GetForegroundWindow() == top);
    if (info.hwndFocus == nullptr) {
        line.addNull("focus");
    } else {
        line.addRaw("focus", describeWindow(info.hwndFocus).str());
    }
    writeLine(line.str());
    return Ok;
}

int progressBar(const Args& args) {
    HWND bar = locateTarget(args);
    // Pointers cannot cross processes, so the range is asked for one end at a time.
    DWORD_PTR low = 0;
    DWORD_PTR high = 0;
    DWORD_PTR position = 0;
    const bool answered =
        SendMessageTimeoutW(bar, PBM_GETRANGE, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &low) &&
        SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 5000, &high) &&
        SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
    if (!answered) {
        throw Failure{Failed, L"the progress bar did not answer"};
    }
    const LONG style = GetWindowLongW(bar, GWL_STYLE);
    writeLine(JsonLine()
                  .addInt("id", GetDlgCtrlID(bar))
                  .addText("class", windowClass(bar))
                  .addInt("min", static_cast<int>(low))
                  .addInt("max", static_cast<int>(high))
                  .addInt("pos", static_cast<int>(position))
                  .addBool("marquee", (style & PBS_MARQUEE) != 0)
                  .addBool("visible", IsWindowVisible(bar) != FALSE)
                  .str());
    return Ok;
}

// Posted, not sent: a click that opens a modal box must not hold the tool.
int postClick(const Args& args) {
    if (!args.number(L"id")) {
        throw Failure{Usage, L"post-click needs --id"};
    }
    HWND button = locateTarget(args);
    if (!PostMessageW(button, BM_CLICK, 0, 0)) {
        throw Failure{Failed, L"PostMessage failed: " + std::to_wstring(GetLastError())};
    }
    writeLine(JsonLine().addInt("clicked", GetDlgCtrlID(button)).str());
    return Ok;
}

}  // namespace ombrix::automate
