#include "platform/win32/form_window.h"

#include "platform/win32/dpi_win32.h"
#include "platform/win32/form_controls.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The window's own messages, each handed to its handler.
namespace ombrix {

LRESULT CALLBACK FormWindow::FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<FormWindow*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->hwnd_ != hwnd) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->dispatch(message, wParam, lParam);
}

LRESULT FormWindow::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return onCommand(wParam, lParam);
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return onCtlColor(message, wParam, lParam);
        case WM_ACTIVATE:
            return onActivate(wParam, lParam);
        case WM_DPICHANGED:
            return onDpiChanged(wParam, lParam);
        case WM_SYSCOMMAND:
            return onSysCommand(wParam, lParam);
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            return onSystemColours(message, wParam, lParam);
        case WM_TIMER:
            onTimerMessage(wParam);
            return 0;
        case WM_QUERYENDSESSION:
            return events_ && !events_->onQueryEndSession() ? FALSE : TRUE;
        case WM_ENDSESSION:
            if (events_) {
                events_->onEndSession(wParam != FALSE);
            }
            return 0;
        case WM_NCDESTROY: {
            const LRESULT result = DefWindowProcW(hwnd_, message, wParam, lParam);
            onNcDestroy();
            return result;
        }
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

LRESULT FormWindow::onCommand(WPARAM wParam, LPARAM lParam) {
    // Esc, as dialog navigation reports it: the window has no control of that ID.
    if (LOWORD(wParam) == IDCANCEL && lParam == 0) {
        if (events_) {
            events_->onCloseRequest();
        }
        return 0;
    }
    const ControlWindow* control = findByHandle(reinterpret_cast<HWND>(lParam));
    if (control && control->def->kind == forms::Kind::PushButton && HIWORD(wParam) == BN_CLICKED &&
        events_) {
        events_->onClick(control->def->id);
    }
    return 0;
}

LRESULT FormWindow::onCtlColor(UINT message, WPARAM wParam, LPARAM lParam) {
    ControlWindow* control = findByHandle(reinterpret_cast<HWND>(lParam));
    if (!control || !HasDesignedColours(*control->def) || contrast_ == forms::Contrast::High) {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
    auto dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, ForegroundOf(*control->def));
    SetBkColor(dc, BackgroundOf(*control->def));
    if (!control->brush) {
        control->brush.reset(CreateSolidBrush(BackgroundOf(*control->def)));
    }
    return reinterpret_cast<LRESULT>(control->brush.get());
}

LRESULT FormWindow::onSysCommand(WPARAM wParam, LPARAM lParam) {
    // Alt+F4 and the system's close command ask, as the close button does; a close that comes
    // as WM_CLOSE alone (from another program) still closes at once.
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        if (events_) {
            events_->onCloseRequest();
        }
        return 0;
    }
    return DefWindowProcW(hwnd_, WM_SYSCOMMAND, wParam, lParam);
}

LRESULT FormWindow::onSystemColours(UINT message, WPARAM wParam, LPARAM lParam) {
    // Colours the user chose may have changed with or without high contrast: brushes made of
    // the old ones go, and the system's controls hear of it too.
    for (ControlWindow& control : controls_) {
        control.brush.reset();
        if (message == WM_SYSCOLORCHANGE && control.hwnd) {
            SendMessageW(control.hwnd, message, wParam, lParam);
        }
    }
    const forms::Contrast contrast = SystemContrast();
    if (contrast != contrast_) {
        setContrast(contrast);
    } else if (message == WM_SYSCOLORCHANGE) {
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void FormWindow::onTimerMessage(WPARAM wParam) {
    if (events_) {
        events_->onTimer(static_cast<int>(wParam));
    }
}

void FormWindow::onNcDestroy() {
    std::erase(OpenForms(), hwnd_);
    hwnd_ = nullptr;
    savedFocus_ = nullptr;
    for (ControlWindow& control : controls_) {
        control.hwnd = nullptr;
        control.pressed = false;
    }
    if (events_) {
        events_->onClosed();
    }
}

}  // namespace ombrix
