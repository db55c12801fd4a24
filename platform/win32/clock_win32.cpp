#include "platform/win32/clock_win32.h"

#include <windows.h>

namespace ombrix {

std::uint64_t Win32Clock::nowMs() {
    return GetTickCount64();
}

void Win32Clock::idle(unsigned maxMs) {
    MsgWaitForMultipleObjectsEx(0, nullptr, maxMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    pump_();
}

}  // namespace ombrix
