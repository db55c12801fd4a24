#pragma once
// A failed Win32 call as an exception: "<call>: <the system's description>", in UTF-8. Holds its
// text itself, so that throwing it needs none of the library's narrow-string machinery.
#include <windows.h>

#include <exception>

namespace ombrix {

class Win32Error : public std::exception {
  public:
    Win32Error(const char* call, DWORD code);
    const char* what() const noexcept override { return text_; }

  private:
    char text_[512];
};

// Throws the calling thread's last error for `call`.
[[noreturn]] void ThrowLastError(const char* call);

}  // namespace ombrix
