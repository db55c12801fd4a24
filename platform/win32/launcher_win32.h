#pragma once
// Starting programs with CreateProcess, or as the desktop shell's user with that process's
// token (CreateProcessWithTokenW), for an updater that runs with administrator rights.
#include "platform/launcher.h"

namespace ombrix {

class Win32Launcher final : public Launcher {
  public:
    LaunchContext context() override;
    Started start(const std::wstring& path, bool asShellUser) override;
};

}  // namespace ombrix
