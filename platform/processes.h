#pragma once
// Running processes: listing, opening, terminating, waiting; their top-level windows and the
// end-of-session messages a program is asked to close with.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

struct ProcessEntry {
    std::uint32_t id = 0;
    std::wstring exeName;  // the executable's file name, as the system lists it
};

// A top-level window of some process, by its system handle.
using WindowId = std::uintptr_t;

// An opened process; the handle is closed when the object goes away.
class ProcessHandle {
  public:
    virtual ~ProcessHandle() = default;
    // Full path of the process's executable, or nothing when it cannot be read.
    virtual std::optional<std::wstring> imagePath() = 0;
    virtual bool terminate(std::uint32_t exitCode) = 0;
    virtual bool hasExited() = 0;
    // The exit status once the process has ended; nothing while it runs.
    virtual std::optional<std::uint32_t> exitCode() = 0;
    // True once the process waits for input in its message loop.
    virtual bool waitingForInput() = 0;
};

class Processes {
  public:
    virtual ~Processes() = default;
    // Every running process, or nothing when no snapshot can be taken.
    virtual std::optional<std::vector<ProcessEntry>> snapshot() = 0;
    // Opens a process for terminating, waiting and reading its image path. Null on failure.
    virtual std::unique_ptr<ProcessHandle> open(std::uint32_t id) = 0;

    // The process's top-level windows, hidden ones included.
    virtual std::vector<WindowId> windowsOf(std::uint32_t processId) = 0;
    // Asks the window whether its program may be closed for an update (the query of a session
    // end, for closing one application). True only when it agreed within `timeoutMs`; a hung
    // window is not waited for.
    virtual bool askToEnd(WindowId window, unsigned timeoutMs) = 0;
    // Tells the window the outcome: `ending` true lets it save and end, false tells it to go on.
    virtual void tellEnd(WindowId window, bool ending, unsigned timeoutMs) = 0;
    // Asks the window to close, without waiting for it.
    virtual void close(WindowId window) = 0;
    virtual bool windowExists(WindowId window) = 0;
};

}  // namespace ombrix
