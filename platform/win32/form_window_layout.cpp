#include "platform/win32/form_window.h"

// Places, fonts and pictures for the window's resolution, again whenever it changes.
namespace ombrix {

void FormWindow::assignFontsAndPlaces() {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        ControlWindow& control = controls_[i];
        control.place = layout_.controls[i];
        const forms::Font* font = control.def->font ? control.def->font : form_.font;
        control.font = nullptr;
        for (const auto& [def, handle] : fonts_) {
            if (def == font) {
                control.font = handle.get();
            }
        }
    }
}

void FormWindow::placeWindow() {
    const forms::Rect& client = layout_.client;
    RECT rect{client.x, client.y, client.x + client.width, client.y + client.height};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
    SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::applyLayout(const forms::FormLayout& layout) {
    layout_ = layout;
    // The old fonts stay alive until every control has let go of them.
    auto oldFonts = std::move(fonts_);
    fonts_.clear();
    loadFonts();
    pictures_.clear();
    loadPictures();
    assignFontsAndPlaces();
    for (const ControlWindow& control : controls_) {
        if (!control.hwnd) {
            continue;
        }
        SetWindowPos(control.hwnd, nullptr, control.place.x, control.place.y, control.place.width,
                     control.place.height, SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.font) {
            SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(control.font), FALSE);
        }
    }
    placeWindow();
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT FormWindow::onDpiChanged(WPARAM wParam, LPARAM lParam) {
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    const int dpi = LOWORD(wParam);
    if (!suggested || dpi <= 0) {
        return 0;
    }
    // The suggested rectangle is the whole window; the layout wants its client area.
    RECT frame{};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
    const forms::Rect client{suggested->left - frame.left, suggested->top - frame.top,
                             suggested->right - suggested->left - (frame.right - frame.left),
                             suggested->bottom - suggested->top - (frame.bottom - frame.top)};
    applyLayout(forms::LayOutAfterDpiChange(form_, dpi, client));
    return 0;
}

}  // namespace ombrix
