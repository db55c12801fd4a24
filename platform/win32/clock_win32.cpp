#include "platform/win32/clock_win32.h"

#include <windows.h>

namespace ombrix {

std::uint64_t Win32Clock::nowMs() {
    return GetTickCount64();
}

std::int64_t Win32Clock::utcSeconds() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    // FILETIME counts 100 ns steps from 1601; 1970 is 11644473600 s later.
    const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000u) - 11644473600LL;
}

void Win32Clock::idle(unsigned maxMs) {
    MsgWaitForMultipleObjectsEx(0, nullptr, maxMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    pump_();
}

}  // namespace ombrix
