#pragma once
// Libraries of the system folder loaded when first needed, by full path, so that a DLL of the
// same name beside the program is never taken instead.
#include <windows.h>

namespace ombrix {

// From now on the libraries that the process or a system library loads by name come from the
// system folder only, never from the program's folder or the current one. Call it first thing:
// the program may run elevated from a folder that others can write to.
void KeepLibrarySearchInSystemFolder();

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
