#pragma once
// The file service's new files: made with CREATE_NEW, held without sharing writes or deletes,
// and renamed through their own handle.
#include <windows.h>

#include <string>

#include "platform/file_system.h"

namespace ombrix {

// `extendedName` as ExtendedLengthPath gives it.
NewFileResult CreateHeldNewFile(const std::wstring& extendedName);

// The failure for a system error code; sharing and lock violations and access denied count as
// held by another program.
FileFailure FileFailureOf(DWORD code);

}  // namespace ombrix
