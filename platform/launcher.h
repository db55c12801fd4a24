#pragma once
// Starting the product: in a normal window with the focus, as the desktop's user where the
// starter runs with more rights than that user.
#include <memory>
#include <optional>
#include <string>

#include "platform/processes.h"

namespace ombrix {

// What decides under which account a program is started.
struct LaunchContext {
    bool elevated = false;       // this process runs with administrator rights
    bool shellFound = false;     // a desktop shell runs in this session
    bool shellElevated = false;  // ... with administrator rights
    bool shellSameUser = false;  // ... for the same user as this process
};

struct Started {
    std::unique_ptr<ProcessHandle> process;  // null when the start failed
    std::wstring failure;                    // the system's reason, when it failed
};

class Launcher {
  public:
    virtual ~Launcher() = default;
    virtual LaunchContext context() = 0;
    // Starts a program in a normal window with the focus, in its own folder; with
    // `asShellUser`, under the desktop shell's account. A crash of the program at its start
    // ends it at once instead of leaving it waiting in an error report.
    virtual Started start(const std::wstring& path, bool asShellUser) = 0;
};

}  // namespace ombrix
