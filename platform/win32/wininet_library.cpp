#include "platform/win32/wininet_library.h"

#include "platform/win32/system_library.h"

namespace ombrix {
namespace {

bool Load(WinInetLibrary& l) {
    HMODULE net = LoadSystemLibrary(L"wininet.dll");
    return FindFunction(net, "InternetOpenW", l.InternetOpenW) &&
           FindFunction(net, "InternetConnectW", l.InternetConnectW) &&
           FindFunction(net, "HttpOpenRequestW", l.HttpOpenRequestW) &&
           FindFunction(net, "HttpSendRequestW", l.HttpSendRequestW) &&
           FindFunction(net, "HttpQueryInfoW", l.HttpQueryInfoW) &&
           FindFunction(net, "InternetReadFileExW", l.InternetReadFileExW) &&
           FindFunction(net, "InternetSetOptionW", l.InternetSetOptionW) &&
           FindFunction(net, "InternetSetStatusCallbackW", l.InternetSetStatusCallbackW) &&
           FindFunction(net, "InternetCloseHandle", l.InternetCloseHandle) &&
           FindFunction(net, "InternetCrackUrlW", l.InternetCrackUrlW) &&
           FindFunction(net, "InternetCombineUrlW", l.InternetCombineUrlW);
}

}  // namespace

const WinInetLibrary* LoadWinInetLibrary() {
    // The static's guard makes a second caller wait for the first one's load.
    static WinInetLibrary library;
    static const bool loaded = Load(library);
    return loaded ? &library : nullptr;
}

}  // namespace ombrix
