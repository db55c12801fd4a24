#pragma once
#include <string>

#include "platform/file_system.h"

namespace ombrix::updater {

// True when the file is a Windows executable: "MZ" at the start and "PE\0\0" where the DOS
// header points. Keeps an error page or a truncated body from replacing the product.
bool IsWindowsExecutable(FileSystem& files, const std::wstring& path);

}  // namespace ombrix::updater
