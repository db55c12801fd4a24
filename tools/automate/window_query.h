#pragma once
// Finding windows of other processes: top-level windows by caption, class, outer size and
// process, and controls by ID at any depth below them.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "tools/automate/args.h"
#include "tools/automate/json_line.h"

namespace ombrix::automate {

struct WindowQuery {
    std::optional<std::wstring> caption;
    std::optional<std::wstring> className;
    std::optional<Size> size;  // outer size, as GetWindowRect gives it
    std::optional<DWORD> pid;
    std::optional<HWND> hwnd;
    bool visibleOnly = false;

    // --caption, --class, --size WxH, --pid, --hwnd, --visible
    static WindowQuery fromArgs(const Args& args);
    bool matches(HWND window) const;
    std::wstring describe() const;
};

std::vector<HWND> topLevelWindows();
// Every window below `root`, children of children included, in Z order of each level.
std::vector<HWND> descendants(HWND root);
std::vector<HWND> findTopLevel(const WindowQuery& query);
// Waits until a window matches; throws a timeout Failure.
HWND waitTopLevel(const WindowQuery& query, DWORD timeoutMs);
// First window below `root` with the control ID, or null.
HWND findControl(HWND root, int id);

// The top-level window that the query names and, with --id, the control below it; waits up to
// --timeout (default 5000 ms) for both.
HWND locateTarget(const Args& args);
DWORD timeoutOf(const Args& args, DWORD fallbackMs);

// A top-level window's caption, or a control's text through WM_GETTEXT (which the system
// marshals between processes; an edit control keeps its text to itself), bounded by a timeout
// so that a hung window cannot hold the tool.
std::wstring windowText(HWND window);
std::wstring windowClass(HWND window);
DWORD windowProcess(HWND window);

// hwnd, id, class, text, visible, enabled, screen rect, place within the parent's client area,
// process id.
JsonLine describeWindow(HWND window);
std::string rectJson(const RECT& rect);

}  // namespace ombrix::automate
