#include "bench/probe/watched_process.h"

#include <psapi.h>

#include <algorithm>

namespace ombrix::bench {

WatchedProcess::WatchedProcess(const automate::Args& args)
    : started_(automate::startProcess(args, false)) {}

bool WatchedProcess::waitEnd(DWORD waitMs) {
    if (endSeconds_) {
        return true;
    }
    if (WaitForSingleObject(started_.process.get(), waitMs) != WAIT_OBJECT_0) {
        return false;
    }
    endSeconds_ = elapsedSeconds();
    return true;
}

void WatchedProcess::sampleMemory(DWORD everyMs) {
    const double now = elapsedSeconds();
    if (endSeconds_ || (lastSample_ >= 0 && (now - lastSample_) * 1000 < everyMs)) {
        return;
    }
    lastSample_ = now;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(started_.process.get(), &counters, sizeof counters)) {
        peakWorkingSet_ = std::max<std::uint64_t>(peakWorkingSet_, counters.PeakWorkingSetSize);
    }
}

std::optional<DWORD> WatchedProcess::exitCode() const {
    DWORD code = 0;
    if (!endSeconds_ || !GetExitCodeProcess(started_.process.get(), &code)) {
        return std::nullopt;
    }
    return code;
}

void WatchedProcess::terminate() {
    if (!endSeconds_ && TerminateProcess(started_.process.get(), 1)) {
        WaitForSingleObject(started_.process.get(), 10000);
    }
}

}  // namespace ombrix::bench
