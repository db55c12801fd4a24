#pragma once
#include "platform/shell_notify.h"

namespace ombrix {

class Win32ShellNotifier : public ShellNotifier {
  public:
    void broadcastSettingChange() override;
    void notifyAssociationsChanged() override;
};

}  // namespace ombrix
