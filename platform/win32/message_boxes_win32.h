#pragma once
// Modal message boxes owned by the program's main window while it is on screen: the owner is
// disabled while a box is open, so no close, cancel or drag of it runs underneath.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/message_box.h"

namespace ombrix {

class Win32MessageBoxes final : public MessageBoxes {
  public:
    // `owner` gives the main window's handle, or null once it is gone.
    Win32MessageBoxes(std::function<HWND()> owner, std::wstring applicationTitle);

    int show(const std::wstring& text, const std::optional<std::wstring>& title,
             int style) override;

  private:
    std::function<HWND()> owner_;
    std::wstring applicationTitle_;
};

}  // namespace ombrix
