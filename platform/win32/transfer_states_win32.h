#pragma once
// Carries a transfer's states from the thread that learns of them to its TransferEvents on the
// user-interface thread. A message-only window of that thread receives them as posted
// messages: they arrive in the order they were posted, and are handled wherever that thread
// handles its messages (the message loop, the logic's own pumps, an open message box's loop).
#include <windows.h>

#include "platform/transfer.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {

class TransferStateWindow {
  public:
    // Made on the user-interface thread, which then owns the window. Throws when the window
    // cannot be made.
    explicit TransferStateWindow(TransferEvents& events);
    TransferStateWindow(const TransferStateWindow&) = delete;
    TransferStateWindow& operator=(const TransferStateWindow&) = delete;

    HWND handle() const { return window_.get(); }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    TransferEvents& events_;
    unique_hwnd window_;
};

// From any thread; a window that is gone (its component was destroyed) takes nothing.
void PostTransferState(HWND window, TransferState state);

}  // namespace ombrix
