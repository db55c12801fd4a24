#pragma once
// A program started for a measurement: the clock starts just before it is created, and its
// peak working set is read from outside while it runs (the counters are gone once it has
// ended, so the last reading before the end is the figure).
#include <windows.h>

#include <cstdint>
#include <optional>

#include "bench/probe/stopwatch.h"
#include "tools/automate/args.h"
#include "tools/automate/process_start.h"

namespace ombrix::bench {

class WatchedProcess {
  public:
    // --cmdline RAW [--cwd DIR]
    explicit WatchedProcess(const automate::Args& args);

    DWORD pid() const { return started_.pid; }
    // The thread that creates the program's windows.
    DWORD mainThreadId() const { return GetThreadId(started_.thread.get()); }
    double elapsedSeconds() const { return clock_.seconds(); }
    // Waits up to `waitMs` for the end; true once the program has ended (its end time is kept).
    bool waitEnd(DWORD waitMs);
    // Reads the memory counters unless they were read less than `everyMs` ago.
    void sampleMemory(DWORD everyMs);
    std::uint64_t peakWorkingSet() const { return peakWorkingSet_; }
    std::optional<double> endSeconds() const { return endSeconds_; }
    std::optional<DWORD> exitCode() const;
    // Terminates the program and waits until it has gone.
    void terminate();

  private:
    Stopwatch clock_;  // first: it starts before the process is created
    automate::StartedProcess started_;
    std::uint64_t peakWorkingSet_ = 0;
    double lastSample_ = -1;
    std::optional<double> endSeconds_;
};

}  // namespace ombrix::bench
