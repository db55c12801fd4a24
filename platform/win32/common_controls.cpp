#include "platform/win32/common_controls.h"

#include "platform/win32/system_library.h"
#include "platform/win32/win32_error.h"

namespace ombrix {
namespace {

bool Load(CommonControls& c) {
    // The common controls load the theme library by name as they start, and that one loads
    // msimg32 by name. Not every loader keeps such loads in the system folder (Wine's looks in
    // the program's folder first), so the system's copies are loaded by their paths first.
    LoadSystemLibrary(L"msimg32.dll");
    LoadSystemLibrary(L"uxtheme.dll");
    // By name: the manifest's side-by-side entry decides which copy; the search outside it
    // stays in the system folder.
    HMODULE controls = LoadLibraryW(L"comctl32.dll");
    return FindFunction(controls, "SetWindowSubclass", c.SetWindowSubclass) &&
           FindFunction(controls, "RemoveWindowSubclass", c.RemoveWindowSubclass) &&
           FindFunction(controls, "DefSubclassProc", c.DefSubclassProc);
}

}  // namespace

const CommonControls& LoadCommonControls() {
    static CommonControls controls;
    static const bool loaded = Load(controls);
    if (!loaded) {
        ThrowLastError("LoadLibrary comctl32");
    }
    return controls;
}

}  // namespace ombrix
