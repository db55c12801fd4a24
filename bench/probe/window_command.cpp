// Start-up of a window program: from its start to its window being visible, and its peak
// working set by then. The program is terminated then; what it does afterwards is not part of
// these figures.
#include "bench/probe/commands.h"
#include "bench/probe/thread_windows.h"
#include "bench/probe/watched_process.h"
#include "tools/automate/console.h"
#include "tools/automate/deadline.h"
#include "tools/automate/json_line.h"

namespace ombrix::bench {

int windowShown(const automate::Args& args) {
    automate::WindowQuery query = automate::WindowQuery::fromArgs(args);
    query.visibleOnly = true;
    const automate::Deadline deadline(automate::timeoutOf(args, kDefaultTimeoutMs));
    WatchedProcess program(args);
    const DWORD thread = program.mainThreadId();
    while (findThreadWindow(thread, query) == nullptr) {
        program.sampleMemory(kMemorySampleMs);
        if (program.waitEnd(1)) {
            throw automate::Failure{automate::Failed, L"the program ended without its window"};
        }
        if (deadline.passed()) {
            program.terminate();
            throw automate::Failure{automate::TimedOut, L"no " + query.describe() + L" in time"};
        }
    }
    const double shown = program.elapsedSeconds();
    program.sampleMemory(0);
    program.terminate();
    automate::writeLine(
        automate::JsonLine()
            .addInt("pid", program.pid())
            .addInt("us_to_window", micros(shown))
            .addInt("peak_working_set", static_cast<std::int64_t>(program.peakWorkingSet()))
            .str());
    return automate::Ok;
}

}  // namespace ombrix::bench
