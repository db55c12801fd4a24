// idle [--timeout MS]: stays attached to the desktop until killed or until the timeout (one
// hour by default). Wine closes the desktop, and ends its explorer process, a moment after the
// last program with windows has ended; a program started during that moment waits seconds for
// a new desktop. The test session keeps one of these running so that never happens.
#include <windows.h>

#include "tools/automate/commands.h"
#include "tools/automate/console.h"
#include "tools/automate/deadline.h"
#include "tools/automate/json_line.h"
#include "tools/automate/window_query.h"

namespace ombrix::automate {

int idle(const Args& args) {
    // A message-only window ties the thread to the desktop but receives no broadcasts, so it
    // can never hold up a program that sends one.
    HWND window = CreateWindowExW(0, L"Static", L"automate idle", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        throw Failure{Failed, L"no window: " + std::to_wstring(GetLastError())};
    }
    writeLine(JsonLine().addInt("pid", GetCurrentProcessId()).str());
    const Deadline deadline(timeoutOf(args, 3600000));
    while (!deadline.passed()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, deadline.remainingMs(), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(window);
    return Ok;
}

}  // namespace ombrix::automate
