#pragma once
// The system's WinINet, loaded by the first request's worker rather than with the program:
// under Wine the library and what it brings cost about 9 ms before the window could show, and
// on the worker that time runs while the window is being shown.
#include <windows.h>

#include <wininet.h>

namespace ombrix {

struct WinInetLibrary {
    decltype(&::InternetOpenW) InternetOpenW = nullptr;
    decltype(&::InternetConnectW) InternetConnectW = nullptr;
    decltype(&::HttpOpenRequestW) HttpOpenRequestW = nullptr;
    decltype(&::HttpSendRequestW) HttpSendRequestW = nullptr;
    decltype(&::HttpQueryInfoW) HttpQueryInfoW = nullptr;
    decltype(&::InternetReadFileExW) InternetReadFileExW = nullptr;
    decltype(&::InternetSetOptionW) InternetSetOptionW = nullptr;
    decltype(&::InternetSetStatusCallbackW) InternetSetStatusCallbackW = nullptr;
    decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
    decltype(&::InternetCrackUrlW) InternetCrackUrlW = nullptr;
    decltype(&::InternetCombineUrlW) InternetCombineUrlW = nullptr;
};

// The functions, from the copy in the system folder (never from the program's own folder).
// Loaded once, by whichever thread asks first, and kept for the life of the process; null
// when the library or a function is missing.
const WinInetLibrary* LoadWinInetLibrary();

}  // namespace ombrix
