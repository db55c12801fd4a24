#pragma once
// The taskbar button's progress through the shell's ITaskbarList3. The shell object is made at
// the first call, not at start; where it is missing (a system without it, a thread without COM)
// every call does nothing.
#include <windows.h>

#include <shobjidl.h>

#include <functional>

#include "platform/taskbar.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {

class Win32TaskbarProgress final : public TaskbarProgress {
  public:
    // `window`: the window whose button shows the progress (null once it is gone).
    explicit Win32TaskbarProgress(std::function<HWND()> window) : window_(std::move(window)) {}

    void setState(State state) override;
    void setValue(std::uint64_t done, std::uint64_t total) override;

  private:
    ITaskbarList3* taskbar();

    std::function<HWND()> window_;
    unique_com<ITaskbarList3> taskbar_;
    bool tried_ = false;
};

}  // namespace ombrix
