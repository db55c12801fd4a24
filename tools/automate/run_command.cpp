// run --cmdline RAW [--timeout MS]: starts a program, watches every top-level window it makes
// until it ends, and answers its exit code and those windows. For programs that must show
// nothing. The window list is read every 2 ms: Wine delivers no cross-process WinEvents
// (EVENT_OBJECT_SHOW) to an out-of-context hook, so polling is what sees a window at all.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tools/automate/commands.h"
#include "tools/automate/console.h"
#include "tools/automate/deadline.h"
#include "tools/automate/json_line.h"
#include "tools/automate/process_start.h"
#include "tools/automate/window_query.h"

namespace ombrix::automate {
namespace {

constexpr DWORD kWatchIntervalMs = 2;

class WindowWatch {
  public:
    explicit WindowWatch(DWORD pid) : pid_(pid) {}

    void look() {
        for (HWND window : topLevelWindows()) {
            if (windowProcess(window) == pid_) {
                note(window);
            }
        }
    }

    std::string json() const {
        std::vector<std::string> windows;
        for (const auto& [window, seen] : seen_) {
            windows.push_back(JsonLine()
                                  .addInt("hwnd", reinterpret_cast<INT_PTR>(window))
                                  .addText("class", seen.className)
                                  .addText("caption", seen.caption)
                                  .addBool("ever_visible", seen.everVisible)
                                  .str());
        }
        return jsonArray(windows);
    }

  private:
    struct Seen {
        std::wstring className;
        std::wstring caption;
        bool everVisible = false;
    };

    void note(HWND window) {
        auto& seen = seen_[window];
        wchar_t caption[512] = {};
        // GetWindowText reads another process's caption without sending it a message.
        if (GetWindowTextW(window, caption, 512) > 0) {
            seen.caption = caption;
        }
        if (seen.className.empty()) {
            seen.className = windowClass(window);
        }
        seen.everVisible = seen.everVisible || IsWindowVisible(window);
    }

    DWORD pid_;
    std::map<HWND, Seen> seen_;
};

}  // namespace

int runProgram(const Args& args) {
    const DWORD timeoutMs = timeoutOf(args, 30000);
    // Suspended until the watch is ready, so that not even its first window escapes.
    StartedProcess started = startProcess(args, true);
    WindowWatch watch(started.pid);
    ResumeThread(started.thread.get());
    const Deadline deadline(timeoutMs);
    bool ended = false;
    while (!ended && !deadline.passed()) {
        ended = WaitForSingleObject(started.process.get(), kWatchIntervalMs) == WAIT_OBJECT_0;
        watch.look();
    }
    JsonLine line;
    line.addInt("pid", started.pid);
    DWORD code = 0;
    if (ended && GetExitCodeProcess(started.process.get(), &code)) {
        line.addInt("exit_code", code);
    } else {
        line.addNull("exit_code");
    }
    line.addRaw("windows", watch.json());
    writeLine(line.str());
    if (!ended) {
        throw Failure{TimedOut,
                      L"the program still runs after " + std::to_wstring(timeoutMs) + L" ms"};
    }
    return Ok;
}

}  // namespace ombrix::automate
