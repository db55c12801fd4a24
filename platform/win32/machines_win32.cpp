#include "platform/win32/machines_win32.h"

#include <windows.h>

namespace ombrix {
namespace {

// Looked up at run time: older systems lack both.
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
using GetMachineTypeAttributesFn = HRESULT(WINAPI*)(USHORT, int*);
constexpr int kUserEnabled = 0x1;  // MACHINE_ATTRIBUTES: programs of this machine run in user mode

template <typename Fn>
Fn Kernel32Function(const char* name) {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 == nullptr
               ? nullptr
               : reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel32, name)));
}

USHORT NativeMachine() {
    if (const auto isWow64Process2 = Kernel32Function<IsWow64Process2Fn>("IsWow64Process2")) {
        USHORT process = 0;
        USHORT native = 0;
        if (isWow64Process2(GetCurrentProcess(), &process, &native)) {
            return native;
        }
    }
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
        case PROCESSOR_ARCHITECTURE_AMD64:
            return kMachineAmd64;
        case PROCESSOR_ARCHITECTURE_ARM64:
            return kMachineArm64;
        default:
            return kMachineI386;
    }
}

}  // namespace

bool Win32Machines::runs(std::uint16_t machine) {
    if (machine == kMachineI386) {
        return true;
    }
    const USHORT native = NativeMachine();
    if (machine == native) {
        return true;
    }
    if (machine == kMachineAmd64 && native == kMachineArm64) {
        const auto attributes =
            Kernel32Function<GetMachineTypeAttributesFn>("GetMachineTypeAttributes");
        int flags = 0;
        return attributes != nullptr && SUCCEEDED(attributes(machine, &flags)) &&
               (flags & kUserEnabled) != 0;
    }
    return false;
}

}  // namespace ombrix
