#pragma once
// Starting a program with an exact command line (--cmdline, the program name included) and an
// optional working folder (--cwd).
#include <windows.h>

#include "tools/automate/args.h"
#include "platform/win32/unique_handle.h"

namespace ombrix::automate {

struct StartedProcess {
    unique_handle process;
    unique_handle thread;
    DWORD pid = 0;
};

// `suspended`: the caller resumes `thread` once it is ready to watch the program.
StartedProcess startProcess(const Args& args, bool suspended);

}  // namespace ombrix::automate
