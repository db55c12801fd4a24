#pragma once
// The top-level windows of one thread of another program. Asking for one thread's windows is a
// single request to the system, where a scan of every top-level window would cost one per
// window, and the probe asks every millisecond while the program under test runs.
#include <windows.h>

#include "tools/automate/window_query.h"

namespace ombrix::bench {

// The first window of the thread that the query matches (its pid is not looked at), or null.
HWND findThreadWindow(DWORD threadId, const automate::WindowQuery& query);

}  // namespace ombrix::bench
