#include "tools/automate/process_start.h"

#include <string>

#include "tools/automate/console.h"

namespace ombrix::automate {

StartedProcess startProcess(const Args& args, bool suspended) {
    std::wstring commandLine = args.required(L"cmdline");
    const auto cwd = args.text(L"cwd");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(args.numberOr(L"show", SW_SHOWNORMAL));
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        suspended ? CREATE_SUSPENDED : 0, nullptr, cwd ? cwd->c_str() : nullptr,
                        &startup, &info)) {
        throw Failure{
            Failed, L"cannot start " + commandLine + L": error " + std::to_wstring(GetLastError())};
    }
    StartedProcess started;
    started.process.reset(info.hProcess);
    started.thread.reset(info.hThread);
    started.pid = info.dwProcessId;
    return started;
}

}  // namespace ombrix::automate
