#include "platform/win32/transfer_states_win32.h"

#include "platform/win32/caption_drawing.h"
#include "platform/win32/win32_error.h"

namespace ombrix {

namespace {

constexpr wchar_t kClassName[] = L"OmbrixTransferStates";
constexpr UINT kStateMessage = WM_APP + 1;

}  // namespace

TransferStateWindow::TransferStateWindow(TransferEvents& events) : events_(events) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &TransferStateWindow::Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    window_.reset(CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), this));
    if (!window_) {
        ThrowLastError("CreateWindowExW (transfer states)");
    }
}

LRESULT CALLBACK TransferStateWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TransferStateWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != kStateMessage || self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // A state that is already waiting replaces this one's status text in a moment: the burst
    // of states as the window opens costs one drawing.
    MSG waiting{};
    const CaptionReplacedSoon replaced(PeekMessageW(&waiting, window, kStateMessage, kStateMessage,
                                                    PM_NOREMOVE | PM_NOYIELD) != FALSE);
    self->events_.onTransferState(static_cast<TransferState>(wParam));
    return 0;
}

void PostTransferState(HWND window, TransferState state) {
    PostMessageW(window, kStateMessage, static_cast<WPARAM>(state), 0);
}

}  // namespace ombrix
