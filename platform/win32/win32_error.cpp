#include "platform/win32/win32_error.h"

#include "platform/win32/system_error_text.h"

namespace ombrix {

Win32Error::Win32Error(const char* call, DWORD code) : text_{} {
    lstrcpynA(text_, call, sizeof text_ - 2);
    int used = lstrlenA(text_);
    text_[used++] = ':';
    text_[used++] = ' ';
    const std::wstring description = SystemErrorText(code);
    // Cut short rather than fail; the last byte stays the terminator.
    const int written = WideCharToMultiByte(
        CP_UTF8, 0, description.c_str(), static_cast<int>(description.size()), text_ + used,
        static_cast<int>(sizeof text_) - used - 1, nullptr, nullptr);
    text_[used + (written > 0 ? written : 0)] = '\0';
}

void ThrowLastError(const char* call) {
    throw Win32Error(call, GetLastError());
}

}  // namespace ombrix
