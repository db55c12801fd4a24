#pragma once
// The common controls (version 6, which the program's manifest names), loaded when the first
// window is built rather than imported: an imported library is loaded and started before the
// program's first line, and the common controls load the theme library by name as they start.
#include <windows.h>

#include <commctrl.h>

namespace ombrix {

struct CommonControls {
    decltype(&::SetWindowSubclass) SetWindowSubclass = nullptr;
    decltype(&::RemoveWindowSubclass) RemoveWindowSubclass = nullptr;
    decltype(&::DefSubclassProc) DefSubclassProc = nullptr;
};

// Loaded once, on the UI thread, and kept for the life of the process. Throws a Win32Error
// when the library or a function is missing.
const CommonControls& LoadCommonControls();

}  // namespace ombrix
