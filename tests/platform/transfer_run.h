#pragma once
// One GET through the component with a log of its states, and the body read the
// way the updater reads it: 1 KiB chunks until an empty one.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/transfer_wininet.h"
#include "state_log.h"

namespace ombrix::test {

using Bytes = std::vector<std::uint8_t>;

// Every state but the closing ones, which follow the response and are not reported.
inline const std::vector<TransferState> kCleanStates = {
    TransferState::Resolving, TransferState::Resolved,         TransferState::Connecting,
    TransferState::Connected, TransferState::Requesting,       TransferState::RequestSent,
    TransferState::Receiving, TransferState::ResponseReceived, TransferState::ResponseCompleted};

Bytes ReadFileBytes(const std::wstring& path);
bool Contains(const std::vector<TransferState>& states, TransferState state);

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

    // Handles window events until Error or ResponseCompleted (false after 15 s without).
    bool responded() { return log.waitForFinalState(15000); }
    const std::vector<TransferState>& states() const { return log.states(); }

    StateLog log;
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
