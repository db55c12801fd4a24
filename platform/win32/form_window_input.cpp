#include "platform/win32/form_window.h"

#include <windowsx.h>

#include "platform/win32/caption_drawing.h"
#include "platform/win32/common_controls.h"
#include "platform/win32/form_controls.h"

// The controls' messages: the mouse (presses, captures and clicks), their texts and paint.
namespace ombrix {

LRESULT CALLBACK FormWindow::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR subclassId, DWORD_PTR refData) {
    auto* self = reinterpret_cast<FormWindow*>(refData);
    if (subclassId >= self->controls_.size() || self->controls_[subclassId].hwnd != hwnd) {
        return LoadCommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return self->dispatchControl(self->controls_[subclassId], message, wParam, lParam);
}

LRESULT FormWindow::dispatchControl(ControlWindow& control, UINT message, WPARAM wParam,
                                    LPARAM lParam) {
    const forms::Kind kind = control.def->kind;
    const bool painted = IsPaintedByForm(kind);
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return onControlButtonDown(control, MouseButton::Left, message, wParam, lParam);
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            return onControlButtonDown(control, MouseButton::Right, message, wParam, lParam);
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            return onControlButtonDown(control, MouseButton::Middle, message, wParam, lParam);
        case WM_LBUTTONUP:
            return onControlLeftButtonUp(control, message, wParam, lParam);
        case WM_CAPTURECHANGED:
            control.pressed = false;
            break;
        case WM_MOUSEMOVE:
            return onControlMouseMove(control, message, wParam, lParam);
        case WM_SETTEXT:
            if (kind == forms::Kind::Label) {
                return onControlSetText(control, wParam, lParam);
            }
            break;
        case WM_PAINT:
            if (painted) {
                return onControlPaint(control);
            }
            break;
        case WM_PRINTCLIENT:
            if (painted) {
                paintControl(control, reinterpret_cast<HDC>(wParam));
                return 0;
            }
            break;
        case WM_ERASEBKGND:
            if (painted) {
                return 1;  // the paint covers every pixel
            }
            break;
        case WM_NCPAINT:
            if (painted) {
                return 0;  // made without a frame: nothing lies outside the client area
            }
            break;
        case WM_UPDATEUISTATE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case BM_SETSTATE:
            // A button draws its own face at these, outside any paint; ours comes right after.
            if (painted) {
                const LRESULT result = passOn(control, message, wParam, lParam);
                if (control.hwnd) {
                    InvalidateRect(control.hwnd, nullptr, FALSE);
                }
                return result;
            }
            break;
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            // Controls inside a picture box report through it to the window.
            if (kind == forms::Kind::PictureBox && hwnd_) {
                return SendMessageW(hwnd_, message, wParam, lParam);
            }
            break;
        case WM_NCDESTROY: {
            HWND hwnd = control.hwnd;
            if (control.def->accessible.live) {
                annotations_.clear(hwnd);
            }
            LoadCommonControls().RemoveWindowSubclass(
                hwnd, ControlProc, static_cast<UINT_PTR>(&control - controls_.data()));
            control.hwnd = nullptr;
            return LoadCommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
        }
        default:
            break;
    }
    return passOn(control, message, wParam, lParam);
}

LRESULT FormWindow::passOn(ControlWindow& control, UINT message, WPARAM wParam, LPARAM lParam) {
    return control.hwnd
               ? LoadCommonControls().DefSubclassProc(control.hwnd, message, wParam, lParam)
               : 0;
}

LRESULT FormWindow::onControlButtonDown(ControlWindow& control, MouseButton button, UINT message,
                                        WPARAM wParam, LPARAM lParam) {
    HWND hwnd = control.hwnd;
    // Statics have no click of their own: press and release over the same control make one.
    const bool ownClick = IsPaintedByForm(control.def->kind);
    if (ownClick && button == MouseButton::Left) {
        SetCapture(hwnd);
        control.pressed = true;
    }
    if (events_) {
        events_->onMouseDown(control.def->id, button);
    }
    if (control.hwnd != hwnd) {
        return 0;  // the handler closed the window
    }
    if (GetCapture() != hwnd) {
        control.pressed = false;  // a drag took the mouse: no click follows
    }
    return ownClick ? 0 : LoadCommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT FormWindow::onControlLeftButtonUp(ControlWindow& control, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
    if (!control.pressed) {
        return IsPaintedByForm(control.def->kind) ? 0 : passOn(control, message, wParam, lParam);
    }
    control.pressed = false;
    ReleaseCapture();
    RECT client{};
    GetClientRect(control.hwnd, &client);
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (PtInRect(&client, point) && events_) {
        events_->onClick(control.def->id);
    }
    return 0;
}

LRESULT FormWindow::onControlMouseMove(ControlWindow& control, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
    HWND hwnd = control.hwnd;
    if (GetCapture() == hwnd) {
        // Captured moves outside the control are not moves over it.
        RECT client{};
        GetClientRect(hwnd, &client);
        if (!PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
            return passOn(control, message, wParam, lParam);
        }
    }
    if (events_) {
        events_->onMouseMove(control.def->id);
    }
    if (control.hwnd != hwnd) {
        return 0;
    }
    return passOn(control, message, wParam, lParam);
}

LRESULT FormWindow::onControlSetText(ControlWindow& control, WPARAM wParam, LPARAM lParam) {
    const auto* text = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
    const bool announced = control.def->accessible.live && WindowText(control.hwnd) != text;
    // Stored as the window's text (what WM_GETTEXT and screen readers read), but drawn by our own
    // paint: the static's paint would leave the old caption's pixels behind a transparent label.
    const LRESULT result = DefWindowProcW(control.hwnd, WM_SETTEXT, wParam, lParam);
    if (announced) {
        AnnounceLiveRegion(control.hwnd);
    }
    RedrawWindow(control.hwnd, nullptr, nullptr,
                 CaptionReplacedSoonFlag() ? RDW_INVALIDATE : RDW_INVALIDATE | RDW_UPDATENOW);
    return result;
}

LRESULT FormWindow::onControlPaint(ControlWindow& control) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(control.hwnd, &paint);
    if (dc) {
        paintControl(control, dc);
    }
    EndPaint(control.hwnd, &paint);
    return 0;
}

}  // namespace ombrix
