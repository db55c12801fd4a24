#include "state_log.h"

#include "checks.h"

namespace ombrix::test {

bool StateLog::waitForFinalState(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        PumpAll();
        for (const TransferState state : states_) {
            if (state == TransferState::Error || state == TransferState::ResponseCompleted) {
                return true;
            }
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

void StateLog::pumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        PumpAll();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    PumpAll();
}

std::wstring Describe(const std::vector<TransferState>& states) {
    std::vector<int> numbers;
    for (const TransferState state : states) {
        numbers.push_back(static_cast<int>(state));
    }
    return Describe(numbers);
}

void PumpAll() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void ThrottledPump::operator()() {
    const DWORD now = GetTickCount();
    if (now - last_ < interval_) {
        return;
    }
    last_ = now;
    ++looks_;
    PumpAll();
}

}  // namespace ombrix::test
