#include "updater/Relaunch.h"

#include "updater/Wait.h"

namespace ombrix::updater {
namespace {
constexpr unsigned kWatchStepMs = 50;
// Wine reports a program that dies at its start as waiting for input at the very moment it
// dies; its status is looked at again a moment later.
constexpr unsigned kSettleMs = 200;

bool Failed(std::uint32_t status) {
    return status >= kFirstFailureStatus;
}
}  // namespace

bool StartAsShellUser(const LaunchContext& context) {
    return context.elevated && context.shellFound && !context.shellElevated &&
           context.shellSameUser;
}

Started StartProduct(Services& s, const std::wstring& path) {
    if (StartAsShellUser(s.launcher.context())) {
        Started started = s.launcher.start(path, true);
        if (started.process) {
            return started;
        }
    }
    return s.launcher.start(path, false);
}

bool StartedWell(Services& s, ProcessHandle& process) {
    bool well = true;  // still running when the watch ends
    WaitUntil(s.clock, kWatchMs, kWatchStepMs, [&] {
        if (const auto status = process.exitCode()) {
            well = !Failed(*status);
            return true;
        }
        if (!process.waitingForInput()) {
            return false;
        }
        PauseFor(s.clock, kSettleMs);
        const auto status = process.exitCode();
        well = !status || !Failed(*status);
        return true;
    });
    return well;
}

}  // namespace ombrix::updater
