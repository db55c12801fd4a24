#include "state_window.h"

namespace ombrix::test {

namespace {

constexpr wchar_t kClassName[] = L"OmbrixPlatformTestStates";

}  // namespace

StateWindow::StateWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &StateWindow::Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), this);
}

StateWindow::~StateWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK StateWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<StateWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == kStateMessage && self != nullptr) {
        self->states_.push_back(static_cast<int>(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool StateWindow::waitForFinalState(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        PumpAll();
        for (const int state : states_) {
            if (state == 11 || state == 12) {
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

void StateWindow::pumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        PumpAll();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    PumpAll();
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
