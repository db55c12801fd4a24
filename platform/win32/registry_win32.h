#pragma once
#include "platform/registry.h"

namespace ombrix {

// The registry through its Unicode entry points.
class Win32Registry : public Registry {
  public:
    std::unique_ptr<RegistryKey> createKey(RegistryRoot root, const std::wstring& path) override;
};

}  // namespace ombrix
