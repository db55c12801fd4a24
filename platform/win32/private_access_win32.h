#pragma once
// The private access of platform/private_access.h for the account of this process, as the
// security attributes that CreateFile gives a file it makes.
#include <windows.h>

#include "platform/win32/unique_handle.h"

namespace ombrix {

class PrivateAccess {
  public:
    // Built for the user of this process's token; false when that cannot be done, and then
    // nothing is to be made without it.
    PrivateAccess();
    PrivateAccess(const PrivateAccess&) = delete;
    PrivateAccess& operator=(const PrivateAccess&) = delete;

    explicit operator bool() const { return static_cast<bool>(descriptor_); }
    // Not inherited by child processes. Only while this object lives.
    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

  private:
    unique_hlocal_descriptor descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace ombrix
