#include <optional>
#include <utility>

#include "platform/win32/transfer_states_win32.h"
#include "platform/win32/transfer_wininet_shared.h"

namespace ombrix {

namespace {

std::optional<TransferState> StateOfStatus(DWORD status) {
    switch (status) {
        case INTERNET_STATUS_RESOLVING_NAME:
            return TransferState::Resolving;
        case INTERNET_STATUS_NAME_RESOLVED:
            return TransferState::Resolved;
        case INTERNET_STATUS_CONNECTING_TO_SERVER:
            return TransferState::Connecting;
        case INTERNET_STATUS_CONNECTED_TO_SERVER:
            return TransferState::Connected;
        case INTERNET_STATUS_SENDING_REQUEST:
            return TransferState::Requesting;
        case INTERNET_STATUS_REQUEST_SENT:
            return TransferState::RequestSent;
        case INTERNET_STATUS_RECEIVING_RESPONSE:
            return TransferState::Receiving;
        case INTERNET_STATUS_RESPONSE_RECEIVED:
            return TransferState::ResponseReceived;
        case INTERNET_STATUS_CLOSING_CONNECTION:
            return TransferState::Disconnecting;
        case INTERNET_STATUS_CONNECTION_CLOSED:
            return TransferState::Disconnected;
        default:
            return std::nullopt;
    }
}

// Failures of the server's certificate (and of the switch from https to http), which the
// updater reports apart from an unreachable server.
bool IsCertificateError(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
            return true;
        default:
            return false;
    }
}

}  // namespace

WinInetShared::WinInetShared(bool quiet)
    : core([this](TransferState state) { PostTransferState(states, state); }, quiet) {}

void GiveUp(unique_hinternet request) {
    if (request) {
        Net().InternetSetStatusCallbackW(request.get(), nullptr);
    }
}

void Apply(WinInetShared& s, const TransferWakes& wakes) {
    unique_hinternet request;
    if (wakes.giveUp) {
        ExclusiveLock hold(s.lock);
        request = std::move(s.request);
    }
    if (wakes.reader) {
        SetEvent(s.dataReady.get());
    }
    if (wakes.worker) {
        SetEvent(s.roomFreed.get());
    }
    if (wakes.over) {
        SetEvent(s.over.get());
    }
    GiveUp(std::move(request));
}

// Runs on whichever thread WinINet reports from (the worker, or another thread while a handle
// is closed): it reaches the user-interface thread only by posting.
void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    if (context == 0) {
        return;
    }
    auto& shared = *reinterpret_cast<WinInetShared*>(context);
    if (status == INTERNET_STATUS_REQUEST_COMPLETE && info != nullptr) {
        const auto& result = *static_cast<const INTERNET_ASYNC_RESULT*>(info);
        {
            ExclusiveLock hold(shared.lock);
            shared.asyncResult = result.dwResult;
            shared.asyncError = result.dwError;
        }
        SetEvent(shared.completed.get());
        return;
    }
    if (const std::optional<TransferState> state = StateOfStatus(status)) {
        ExclusiveLock hold(shared.lock);
        shared.core.report(*state, Now());
    }
}

// The session is asynchronous, so that a read can return what has come without waiting for
// more.
bool Complete(WinInetShared& s, BOOL ok, DWORD& error) {
    if (ok) {
        return true;
    }
    error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        return false;
    }
    HANDLE events[] = {s.completed.get(), s.over.get()};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
        error = ERROR_INTERNET_OPERATION_CANCELLED;
        return false;
    }
    ExclusiveLock hold(s.lock);
    error = s.asyncError;
    return s.asyncResult != 0;
}

void FailRequest(WinInetShared& s, DWORD error) {
    Apply(s, [&](TransferRequest& core) { return core.fail(IsCertificateError(error)); });
}

}  // namespace ombrix
