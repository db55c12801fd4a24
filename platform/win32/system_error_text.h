#pragma once
#include <windows.h>

#include <string>

namespace ombrix {

// The system's own description of an error code, without the trailing line break; "Error N"
// when the system has none.
std::wstring SystemErrorText(DWORD code);

}  // namespace ombrix
