#pragma once
// Running processes: listing, opening, terminating, waiting.
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

// An opened process; the handle is closed when the object goes away.
class ProcessHandle {
  public:
    virtual ~ProcessHandle() = default;
    // Full path of the process's executable, or nothing when it cannot be read.
    virtual std::optional<std::wstring> imagePath() = 0;
    virtual bool terminate(std::uint32_t exitCode) = 0;
    virtual bool hasExited() = 0;
};

class Processes {
  public:
    virtual ~Processes() = default;
    // Every running process, or nothing when no snapshot can be taken.
    virtual std::optional<std::vector<ProcessEntry>> snapshot() = 0;
    // Opens a process for terminating, waiting and reading its image path. Null on failure.
    virtual std::unique_ptr<ProcessHandle> open(std::uint32_t id) = 0;
};

}  // namespace ombrix
