#include "platform/win32/progress_bar_win32.h"
#include "platform/win32/common_controls.h"

#include <commctrl.h>

#include <algorithm>

namespace ombrix {
namespace {
constexpr UINT kMarqueeStepMs = 30;
// Our own subclass and timer on the bar; the control's marquee uses timer 1.
constexpr UINT_PTR kSubclassId = 0x0B1E;
constexpr UINT_PTR kHeldBackTimer = 0x0B1E;
}  // namespace

Win32ProgressBar::Win32ProgressBar(FormWindow& form, int control) : form_(form), control_(control) {
    HWND window = bar();
    if (!window) {
        return;
    }
    maximum_ = static_cast<std::int32_t>(SendMessageW(window, PBM_GETRANGE, FALSE, 0));
    value_ = static_cast<std::int32_t>(SendMessageW(window, PBM_GETPOS, 0, 0));
    RECT client{};
    GetClientRect(window, &client);
    width_ = std::max<int>(1, client.right - client.left);
    sentValue_ = value_;
    sentLength_ = drawnLength(value_);
    sentAt_ = GetTickCount();
    LoadCommonControls().SetWindowSubclass(window, BarProc, kSubclassId,
                                           reinterpret_cast<DWORD_PTR>(this));
}

Win32ProgressBar::~Win32ProgressBar() {
    if (HWND window = bar()) {
        KillTimer(window, kHeldBackTimer);
        LoadCommonControls().RemoveWindowSubclass(window, BarProc, kSubclassId);
    }
}

LRESULT CALLBACK Win32ProgressBar::BarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR /*subclassId*/, DWORD_PTR refData) {
    if (message == WM_TIMER && wParam == kHeldBackTimer) {
        reinterpret_cast<Win32ProgressBar*>(refData)->showHeldBack();
        return 0;
    }
    return LoadCommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
}

int Win32ProgressBar::drawnLength(std::int32_t value) const {
    if (maximum_ <= 0) {
        return 0;
    }
    const std::int64_t clamped = std::clamp<std::int64_t>(value, 0, maximum_);
    return static_cast<int>(clamped * width_ / maximum_);
}

void Win32ProgressBar::setMaximum(std::int32_t maximum) {
    maximum_ = maximum;
    if (!indeterminate_) {
        sendRange();
        sendValue();
    }
}

void Win32ProgressBar::setValue(std::int32_t value) {
    value_ = value;
    if (indeterminate_ || value == sentValue_) {
        return;
    }
    if (value >= maximum_) {
        // Reaching the end is shown at once, so the bar ends exactly full; beyond that the
        // control draws nothing new.
        if (sentValue_ < maximum_) {
            sendValue();
        }
        return;
    }
    if (drawnLength(value) == sentLength_) {
        return;
    }
    const DWORD since = GetTickCount() - sentAt_;
    if (since < kMinUpdateIntervalMs) {
        showLater(kMinUpdateIntervalMs - since);
        return;
    }
    sendValue();
}

void Win32ProgressBar::setIndeterminate(bool on) {
    HWND window = bar();
    if (on == indeterminate_ || !window) {
        indeterminate_ = on;
        return;
    }
    indeterminate_ = on;
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    if (on) {
        SetWindowLongPtrW(window, GWL_STYLE, style | PBS_MARQUEE);
        SendMessageW(window, PBM_SETMARQUEE, TRUE, kMarqueeStepMs);
        return;
    }
    SendMessageW(window, PBM_SETMARQUEE, FALSE, 0);
    SetWindowLongPtrW(window, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    sendRange();
    sendValue();
    InvalidateRect(window, nullptr, TRUE);
}

void Win32ProgressBar::showLater(DWORD delayMs) {
    if (heldBack_) {
        return;
    }
    if (HWND window = bar()) {
        heldBack_ = SetTimer(window, kHeldBackTimer, delayMs, nullptr) != 0;
    }
}

void Win32ProgressBar::showHeldBack() {
    if (heldBack_) {
        if (HWND window = bar()) {
            KillTimer(window, kHeldBackTimer);
        }
        heldBack_ = false;
    }
    if (!indeterminate_ && value_ != sentValue_) {
        sendValue();
    }
}

void Win32ProgressBar::sendRange() {
    if (HWND window = bar()) {
        SendMessageW(window, PBM_SETRANGE32, 0, maximum_);
    }
}

void Win32ProgressBar::sendValue() {
    if (HWND window = bar()) {
        if (heldBack_) {
            KillTimer(window, kHeldBackTimer);
            heldBack_ = false;
        }
        SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(value_), 0);
    }
    sentValue_ = value_;
    sentLength_ = drawnLength(value_);
    sentAt_ = GetTickCount();
}

}  // namespace ombrix
