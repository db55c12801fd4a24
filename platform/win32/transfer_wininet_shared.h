#pragma once
// What one request's worker, its watch, WinINet's callback and the component share, and the
// jobs of the WinINet side: the status callback and certificate errors
// (transfer_wininet_status.cpp), sending and streaming (transfer_wininet_send.cpp). The rules
// themselves are the portable TransferRequest's; this side feeds it and does what it asks.
#include <windows.h>

#include <wininet.h>

#include <string>

#include "platform/transfer_request.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wininet_library.h"

namespace ombrix {

// Each thread holds its own reference, so the state outlives a component destroyed (or a
// request given up) while the worker is still inside a network call.
struct WinInetShared {
    explicit WinInetShared(bool quiet);

    HWND states = nullptr;    // the user-interface thread's TransferStateWindow
    bool unusable = false;    // an operation other than "get": fails at once
    unique_handle dataReady;  // set by the worker for a waiting reader
    unique_handle roomFreed;  // set by the reader (or cancel) for a waiting worker
    unique_handle over;       // set when the request has ended, failed or was cancelled
    unique_handle completed;  // set by WinINet's callback when a pending call has completed
    // The worker's read, here rather than on its stack: WinINet keeps it while a read is pending.
    INTERNET_BUFFERSW buffers{};

    SRWLOCK lock = SRWLOCK_INIT;
    // Guarded by lock, except the free span of the ring, which only the worker touches.
    TransferRequest core;
    std::wstring url;
    std::wstring requestHeaders;
    DWORD_PTR asyncResult = 0;  // of the last pending call: nonzero when it succeeded
    DWORD asyncError = 0;
    unique_hinternet request;  // closed by the worker when done, or by cancel or the watch
};

// WinINet's functions; every path here that calls one runs after the worker loaded them.
inline const WinInetLibrary& Net() {
    return *LoadWinInetLibrary();
}

inline std::uint64_t Now() {
    return GetTickCount64();
}

// Ends the waits `wakes` names (call it without the lock); a request given up is closed, so
// that a network call in progress ends where the system allows it.
void Apply(WinInetShared& s, const TransferWakes& wakes);
// One step of the rules under the lock, then the wake-ups it asked for.
template <typename Step>
void Apply(WinInetShared& s, Step step) {
    TransferWakes wakes;
    {
        ExclusiveLock hold(s.lock);
        wakes = step(s.core);
    }
    Apply(s, wakes);
}
// Closes a request that is done with or given up; a call still pending on it reports nothing
// after this.
void GiveUp(unique_hinternet request);

// WinINet's status callback: states go to the request's rules, completions to `completed`.
void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD);
// True when `ok`, or when the pending call completed with success; false when it failed
// (`error` says why) or the request ended (stall, cancel) while the call was pending.
bool Complete(WinInetShared& s, BOOL ok, DWORD& error);
// Fails the request for `error`, telling a rejected certificate apart.
void FailRequest(WinInetShared& s, DWORD error);

// The worker's whole job: the request, its redirects and the body into the ring.
void RunRequest(WinInetShared& s);

}  // namespace ombrix
