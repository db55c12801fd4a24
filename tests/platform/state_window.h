#pragma once
// A hidden window that receives the transfer states as posted messages, as the updater's main
// window does, and the event pumps the transfer checks hand to the component.
#include <windows.h>

#include <vector>

namespace ombrix::test {

inline constexpr UINT kStateMessage = WM_APP + 7;

class StateWindow {
  public:
    StateWindow();
    ~StateWindow();
    StateWindow(const StateWindow&) = delete;
    StateWindow& operator=(const StateWindow&) = delete;

    HWND handle() const { return window_; }
    // Every state posted so far, in arrival order.
    const std::vector<int>& states() const { return states_; }
    // Handles window events until state 11 or 12 arrives; false on timeout.
    bool waitForFinalState(DWORD timeoutMs);
    // Handles window events for a while (to see that nothing more arrives).
    void pumpFor(DWORD milliseconds);

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    std::vector<int> states_;
};

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
