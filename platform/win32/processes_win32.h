#pragma once
// Running processes through Toolhelp snapshots (wide records) and process handles; their
// windows and the session-end messages sent to them with timeouts.
#include <memory>

#include "platform/processes.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {

class Win32Processes : public Processes {
  public:
    std::optional<std::vector<ProcessEntry>> snapshot() override;
    // Opened for terminating, waiting and reading the image path (limited query access,
    // which a process of another user or integrity level still grants).
    std::unique_ptr<ProcessHandle> open(std::uint32_t id) override;

    std::vector<WindowId> windowsOf(std::uint32_t processId) override;
    // WM_QUERYENDSESSION with ENDSESSION_CLOSEAPP through SendMessageTimeout (SMTO_ABORTIFHUNG).
    bool askToEnd(WindowId window, unsigned timeoutMs) override;
    // WM_ENDSESSION with ENDSESSION_CLOSEAPP, likewise.
    void tellEnd(WindowId window, bool ending, unsigned timeoutMs) override;
    // Posts WM_CLOSE.
    void close(WindowId window) override;
    bool windowExists(WindowId window) override;
};

// A process handle of ours (a started program's, say) as a ProcessHandle.
std::unique_ptr<ProcessHandle> AdoptProcess(unique_handle process);

}  // namespace ombrix
