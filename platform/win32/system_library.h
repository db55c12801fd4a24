#pragma once
// Libraries of the system folder loaded when first needed, by full path, so that a DLL of the
// same name beside the program is never taken instead.
#include <windows.h>

namespace ombrix {

// The library from the system folder, or null.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Sets `function` to the export `name` of `module` (null when either is missing); true when
// found.
template <typename Function>
bool FindFunction(HMODULE module, const char* name, Function& function) {
    function =
        module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
    return function != nullptr;
}

}  // namespace ombrix
