#include "platform/win32/form_window.h"

#include <algorithm>

// The open forms, keyboard navigation among them, and where the focus goes.
namespace ombrix {

std::vector<HWND>& FormWindow::OpenForms() {
    static std::vector<HWND> forms;
    return forms;
}

LRESULT FormWindow::onActivate(WPARAM wParam, LPARAM /*lParam*/) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) {
            savedFocus_ = focus;
        }
        return 0;
    }
    if (savedFocus_ && IsWindow(savedFocus_) && canTakeFocus(savedFocus_)) {
        SetFocus(savedFocus_);
    } else {
        focusFirstTabStop();
    }
    return 0;
}

bool FormWindow::canTakeFocus(HWND control) const {
    if (!(GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) || !IsWindowEnabled(control)) {
        return false;
    }
    // Visible as far as the form goes; the form itself may still be on its way to the screen.
    for (HWND window = control; window && window != hwnd_; window = GetParent(window)) {
        if (!(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE)) {
            return false;
        }
    }
    return true;
}

void FormWindow::focusFirstTabStop() {
    const ControlWindow* first = nullptr;
    for (const ControlWindow& control : controls_) {
        if (control.hwnd && control.def->tabIndex != forms::kNoTabStop &&
            canTakeFocus(control.hwnd) &&
            (!first || control.def->tabIndex < first->def->tabIndex)) {
            first = &control;
        }
    }
    if (first) {
        SetFocus(first->hwnd);
    }
}

FormWindow::ControlWindow* FormWindow::find(int control) {
    for (ControlWindow& entry : controls_) {
        if (entry.def->id == control) {
            return &entry;
        }
    }
    return nullptr;
}

const FormWindow::ControlWindow* FormWindow::find(int control) const {
    return const_cast<FormWindow*>(this)->find(control);
}

FormWindow::ControlWindow* FormWindow::findByHandle(HWND hwnd) {
    if (!hwnd) {
        return nullptr;
    }
    for (ControlWindow& entry : controls_) {
        if (entry.hwnd == hwnd) {
            return &entry;
        }
    }
    return nullptr;
}

bool HandleFormKeyboard(MSG& message) {
    // Only keys concern dialog navigation; everything else is translated and dispatched as usual.
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || !message.hwnd) {
        return false;
    }
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    const auto& forms = FormWindow::OpenForms();
    if (std::find(forms.begin(), forms.end(), root) == forms.end()) {
        return false;
    }
    return IsDialogMessageW(root, &message) != FALSE;
}

int OpenFormCount() {
    return static_cast<int>(FormWindow::OpenForms().size());
}

}  // namespace ombrix
