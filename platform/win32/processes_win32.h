#pragma once
// Running processes through Toolhelp snapshots (wide records) and process handles.
#include "platform/processes.h"

namespace ombrix {

class Win32Processes : public Processes {
  public:
    std::optional<std::vector<ProcessEntry>> snapshot() override;
    // Opened for terminating, waiting and reading the image path (limited query access,
    // which a process of another user or integrity level still grants).
    std::unique_ptr<ProcessHandle> open(std::uint32_t id) override;
};

}  // namespace ombrix
