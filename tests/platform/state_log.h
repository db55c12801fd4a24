#pragma once
// Where the transfer checks' components report their states, as the updater's logic is, and
// the event pumps the checks hand to the component.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/transfer.h"

namespace ombrix::test {

class StateLog : public TransferEvents {
  public:
    void onTransferState(TransferState state) override { states_.push_back(state); }
    // Every state reported so far, in arrival order.
    const std::vector<TransferState>& states() const { return states_; }
    // Handles window events until Error or ResponseCompleted arrives; false on timeout.
    bool waitForFinalState(DWORD timeoutMs);
    // Handles window events for a while (to see that nothing more arrives).
    void pumpFor(DWORD milliseconds);

  private:
    std::vector<TransferState> states_;
};

// The states by number, for a failed check's output.
std::wstring Describe(const std::vector<TransferState>& states);

// Handles every waiting message once.
void PumpAll();

// Looks at the queue at most every `intervalMs` (GetTickCount is free, a queue look is a round
// trip to the Wine server), as the updater's own pump does.
class ThrottledPump {
  public:
    explicit ThrottledPump(DWORD intervalMs) : interval_(intervalMs) {}
    void operator()();
    int looks() const { return looks_; }

  private:
    DWORD interval_;
    DWORD last_ = GetTickCount();
    int looks_ = 0;
};

}  // namespace ombrix::test
