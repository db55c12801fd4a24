#pragma once
// Telling the shell and the top-level windows that settings changed.

namespace ombrix {

class ShellNotifier {
  public:
    virtual ~ShellNotifier() = default;
    // WM_SETTINGCHANGE to every top-level window, wParam 0, lParam an empty string; sent,
    // not posted, with a bounded wait for each window so that a hung one cannot hold us.
    virtual void broadcastSettingChange() = 0;
    // The documented notification that file associations changed.
    virtual void notifyAssociationsChanged() = 0;
};

}  // namespace ombrix
