#include "platform/win32/message_boxes_win32.h"

#include <utility>

namespace ombrix {

Win32MessageBoxes::Win32MessageBoxes(std::function<HWND()> owner, std::wstring applicationTitle)
    : owner_(std::move(owner)), applicationTitle_(std::move(applicationTitle)) {}

int Win32MessageBoxes::show(const std::wstring& text, const std::optional<std::wstring>& title,
                            int style) {
    HWND owner = owner_ ? owner_() : nullptr;
    UINT flags = static_cast<UINT>(style) | MB_SETFOREGROUND;
    if (!owner || !IsWindow(owner) || !IsWindowVisible(owner)) {
        // Without a window on screen (before the main window is shown, after it is gone) the box
        // stands alone, in front, and still holds every window of the program.
        owner = nullptr;
        flags |= MB_TASKMODAL;
    }
    return MessageBoxW(owner, text.c_str(), title.value_or(applicationTitle_).c_str(), flags);
}

}  // namespace ombrix
