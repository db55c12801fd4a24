#pragma once
// The one home of the owners of Win32 handles, for the programs, the tools and the tests alike.
// Each kind of handle has its own type, named as in WIL, and knows its own "no handle" value:
// CreateFile and the Toolhelp snapshot fail with INVALID_HANDLE_VALUE, every other kernel call
// here with null, so a kernel handle is either a `unique_hfile` or a `unique_handle`, never
// "whichever". `if (owner)` tests for a handle in both.
#include <windows.h>
#include <unknwn.h>
#include <wininet.h>

namespace ombrix {

template <typename Traits>
class unique_any {
  public:
    using pointer = typename Traits::pointer;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : value_(value) {}
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        reset(other.release());
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    pointer release() noexcept {
        const pointer value = value_;
        value_ = Traits::invalid();
        return value;
    }
    void reset(pointer value = Traits::invalid()) noexcept {
        const pointer old = value_;
        value_ = value;
        if (old != Traits::invalid()) {
            Traits::close(old);
        }
    }
    // For calls that hand out a handle through a pointer: whatever was owned goes first.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

  private:
    pointer value_ = Traits::invalid();
};

namespace handle_traits {

template <typename Pointer, auto Close>
struct NullInvalid {
    using pointer = Pointer;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer value) noexcept { Close(value); }
};

inline void CloseKernelHandle(HANDLE handle) {
    CloseHandle(handle);
}
inline void CloseKey(HKEY key) {
    RegCloseKey(key);
}
// Through the loaded library rather than a static import: the programs load WinINet when the
// first request starts, and an internet handle exists only once it is loaded.
inline void CloseInternet(HINTERNET handle) {
    using Close = BOOL(WINAPI*)(HINTERNET);
    static const auto close = reinterpret_cast<Close>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"wininet.dll"), "InternetCloseHandle")));
    close(handle);
}
inline void DestroyWindowHandle(HWND window) {
    DestroyWindow(window);
}
inline void FreeLocal(wchar_t* text) {
    LocalFree(text);
}
inline void FreeLocalDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    LocalFree(descriptor);
}
inline void DeleteGdiObject(HGDIOBJ object) {
    DeleteObject(object);
}
inline void DeleteMemoryDc(HDC dc) {
    DeleteDC(dc);
}

template <typename Interface>
void ReleaseInterface(Interface* object) {
    object->Release();
}

struct FileHandle {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer value) noexcept { CloseHandle(value); }
};

}  // namespace handle_traits

// Kernel objects that are null when absent: events, threads, processes, mutexes.
using unique_handle =
    unique_any<handle_traits::NullInvalid<HANDLE, handle_traits::CloseKernelHandle>>;
// Files and snapshots, which are INVALID_HANDLE_VALUE when absent.
using unique_hfile = unique_any<handle_traits::FileHandle>;
using unique_hkey = unique_any<handle_traits::NullInvalid<HKEY, handle_traits::CloseKey>>;
using unique_hinternet =
    unique_any<handle_traits::NullInvalid<HINTERNET, handle_traits::CloseInternet>>;
// A window of the owner's own making (not a form: those close through their Window).
using unique_hwnd =
    unique_any<handle_traits::NullInvalid<HWND, handle_traits::DestroyWindowHandle>>;
// Text the system allocated with LocalAlloc (FormatMessage's buffer).
using unique_hlocal_string =
    unique_any<handle_traits::NullInvalid<wchar_t*, handle_traits::FreeLocal>>;
// A security descriptor the system allocated with LocalAlloc (from SDDL).
using unique_hlocal_descriptor = unique_any<
    handle_traits::NullInvalid<PSECURITY_DESCRIPTOR, handle_traits::FreeLocalDescriptor>>;
// The certificate kinds are in signature_library.h: they are closed through the functions it
// loads at run time.
using unique_hfont = unique_any<handle_traits::NullInvalid<HFONT, handle_traits::DeleteGdiObject>>;
using unique_hbitmap =
    unique_any<handle_traits::NullInvalid<HBITMAP, handle_traits::DeleteGdiObject>>;
using unique_hbrush =
    unique_any<handle_traits::NullInvalid<HBRUSH, handle_traits::DeleteGdiObject>>;
// A memory device context of CreateCompatibleDC (DeleteDC, not ReleaseDC).
using unique_hdc = unique_any<handle_traits::NullInvalid<HDC, handle_traits::DeleteMemoryDc>>;

// A reference to a COM object, released at scope end.
template <typename Interface>
using unique_com =
    unique_any<handle_traits::NullInvalid<Interface*, handle_traits::ReleaseInterface<Interface>>>;

// Holds an SRW lock exclusively for one scope.
class ExclusiveLock {
  public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  private:
    SRWLOCK& lock_;
};

}  // namespace ombrix
