#pragma once
// The display resolution a window is drawn at, which can differ from monitor to monitor.
#include <windows.h>

namespace ombrix {

// Makes the process per-monitor DPI aware (v2) where Windows has that, system aware otherwise.
// Must come before the first window; refusals are quietly taken as the answer.
void BecomeDpiAware();

// The resolution of the system's primary display, as a system-aware process sees it.
int SystemDpi();

// The resolution of the monitor a window is on; SystemDpi() on systems without per-monitor DPI.
int WindowDpi(HWND window);

}  // namespace ombrix
