// A program that ends by itself, timed from its start to its end.
#include "bench/probe/commands.h"
#include "bench/probe/watched_process.h"
#include "tools/automate/console.h"
#include "tools/automate/deadline.h"
#include "tools/automate/json_line.h"
#include "tools/automate/window_query.h"

namespace ombrix::bench {

int wholeRun(const automate::Args& args) {
    const automate::Deadline deadline(automate::timeoutOf(args, kDefaultTimeoutMs));
    WatchedProcess program(args);
    while (!program.waitEnd(1)) {
        program.sampleMemory(kMemorySampleMs);
        if (deadline.passed()) {
            program.terminate();
            throw automate::Failure{automate::TimedOut,
                                    L"the program still runs after the timeout"};
        }
    }
    automate::writeLine(
        automate::JsonLine()
            .addInt("pid", program.pid())
            .addInt("exit_code", program.exitCode().value_or(-1))
            .addInt("us_to_end", micros(program.endSeconds().value_or(0)))
            .addInt("peak_working_set", static_cast<std::int64_t>(program.peakWorkingSet()))
            .str());
    return automate::Ok;
}

}  // namespace ombrix::bench
