#pragma once
// The desktop runtime on Win32: one instance per lock file (which counts across sessions), the
// event pump, ending.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/app.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {

class Win32Application final : public Application {
  public:
    // The pump looks at the queue at most this often (PeekMessage costs a wineserver round
    // trip under Wine, about 60 us; GetTickCount costs nothing), so a loop that pumps after every
    // chunk stays fast and the windows still answer within a fraction of the 20 ms that a user
    // notices.
    static constexpr DWORD kPumpIntervalMs = 5;

    // The lock is held as long as this object lives, which should be the whole process.
    InstanceClaim claimInstance(const std::wstring& lockPath) override;
    // Handles every waiting event, unless the queue was looked at less than kPumpIntervalMs ago.
    void pumpEvents() override;
    // Handles every waiting event now: for callers that have just waited for one (an idle wait).
    void pumpEventsNow();
    [[noreturn]] void exitNow(int code) override;

  private:
    unique_hfile instanceLock_;
    bool pumped_ = false;
    DWORD lastPump_ = 0;
};

// Runs the thread's message loop until the last form has closed (result 0) or a quit message
// arrives (its exit code).
int RunMessageLoop();

// Hands one message taken from the queue to the forms' keyboard navigation or to its window.
void DispatchQueuedMessage(MSG& message);

}  // namespace ombrix
