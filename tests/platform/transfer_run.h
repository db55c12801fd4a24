#pragma once
// One GET through the component with a hidden window for its states, and the body read the
// way the updater reads it: 1 KiB chunks until an empty one.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/transfer_wininet.h"
#include "state_window.h"

namespace ombrix::test {

using Bytes = std::vector<std::uint8_t>;

inline const std::vector<int> kCleanStates = {1, 2, 3, 4, 5, 6, 7, 8, 12};

Bytes ReadFileBytes(const std::wstring& path);
bool Contains(const std::vector<int>& states, int state);

struct Body {
    Bytes bytes;
    std::size_t largestChunk = 0;
    DWORD firstChunkMs = 0;  // from the first call
    DWORD totalMs = 0;
};

Body ReadBody(Transfer& transfer);

// The pump counts its calls and may run an extra action (such as a cancel) first.
class Run {
  public:
    explicit Run(const std::wstring& url, const std::wstring& operation = L"get");
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // Handles window events until state 11 or 12 (false after 15 s without).
    bool responded() { return window.waitForFinalState(15000); }
    const std::vector<int>& states() const { return window.states(); }

    StateWindow window;
    int pumps = 0;
    DWORD executeMs = 0;  // how long execute took
    std::function<void()> onPump;
    std::unique_ptr<WinInetTransfer> transfer;
};

// The https cases (https_checks.cpp): a server whose certificate (the DER file `certFile`) is
// trusted for the run, through the machine's root store; one whose certificate is not; and a
// redirect from https to plain http.
struct HttpsUrls {
    std::wstring trusted;
    std::wstring untrusted;
    std::wstring redirected;
    std::wstring certFile;
};
void CheckHttps(const HttpsUrls& urls, const Bytes& expected);

}  // namespace ombrix::test
