#pragma once
// Owners of kernel handles and of the other resources the tool opens.
#include <windows.h>

#include <memory>
#include <type_traits>

namespace ombrix::automate {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// INVALID_HANDLE_VALUE (what CreateFile and snapshots return on failure) becomes null.
inline UniqueHandle ownHandle(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace ombrix::automate
