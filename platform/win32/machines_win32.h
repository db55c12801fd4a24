#pragma once
// The machines this Windows runs programs of: i386 always; the native machine as
// IsWow64Process2 reports it where the system has it, else GetNativeSystemInfo; and x64 on an
// ARM64 system where the system says it emulates it.
#include "platform/machines.h"

namespace ombrix {

class Win32Machines : public Machines {
  public:
    bool runs(std::uint16_t machine) override;
};

}  // namespace ombrix
