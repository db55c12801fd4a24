#pragma once

#include <windows.h>

namespace ombrix::bench {

// Reads `url` into the file at `path`: 0 when the body had the announced length, 1 on any
// failure (written to the console's error stream).
int ReadUrl(const wchar_t* url, const wchar_t* path);

}  // namespace ombrix::bench
