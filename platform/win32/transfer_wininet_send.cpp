// The worker's side of a request: the URL's parts, sending each GET of a redirect chain on its
// own connection, and streaming the body into the ring.
#include <algorithm>
#include <optional>
#include <utility>

#include "platform/http_response.h"
#include "platform/win32/transfer_wininet_shared.h"

namespace ombrix {

namespace {

// Connect, send and receive each give up after this long without progress. Wine honours these
// only on the request handle, Windows on every level; they are set on all. Wine ignores some
// of them, so the watch's stall rule stands behind.
constexpr DWORD kTimeoutMs = static_cast<DWORD>(transfer_limits::kStallMs);

struct UrlParts {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query
};

std::optional<UrlParts> CrackUrl(const std::wstring& url) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    // Nonzero lengths ask for pointers into `url`.
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!Net().InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        return std::nullopt;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        return std::nullopt;
    }
    UrlParts result;
    result.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    result.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    result.port = parts.nPort;  // the scheme's own port when the URL names none
    if (parts.lpszUrlPath != nullptr) {
        result.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    }
    if (parts.lpszExtraInfo != nullptr) {
        result.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    }
    if (result.object.empty() || result.object.front() != L'/') {
        result.object.insert(0, L"/");
    }
    return result;
}

std::wstring QueryRawHeaders(HINTERNET request) {
    DWORD bytes = 0;
    Net().HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &bytes, nullptr);
    if (bytes == 0) {
        return {};
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!Net().HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &bytes, nullptr)) {
        return {};
    }
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

int QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD bytes = sizeof status;
    if (!Net().HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                              &bytes, nullptr)) {
        return 0;
    }
    return static_cast<int>(status);
}

// Where a redirect response sends the request, resolved against the URL it answered.
std::optional<std::wstring> RedirectTarget(HINTERNET request, const std::wstring& url) {
    const std::optional<std::wstring> location =
        RedirectLocation(QueryStatus(request), QueryRawHeaders(request));
    if (!location) {
        return std::nullopt;
    }
    std::wstring target(INTERNET_MAX_URL_LENGTH + 1, L'\0');
    DWORD length = static_cast<DWORD>(target.size());
    if (!Net().InternetCombineUrlW(url.c_str(), location->c_str(), target.data(), &length, 0)) {
        return std::nullopt;
    }
    target.resize(length);
    return target;
}

// Waits until the ring has room for a read; returns the free span that follows the data, or an
// empty one once the request is over.
ByteRing::Span WaitForRoom(WinInetShared& s) {
    for (bool waited = false;; waited = true) {
        TransferRequest::Room room;
        {
            ExclusiveLock hold(s.lock);
            room = s.core.room(waited, Now());
        }
        if (!room.wait) {
            return room.span;
        }
        WaitForSingleObject(s.roomFreed.get(), INFINITE);
    }
}

void StreamBody(WinInetShared& s, HINTERNET request) {
    for (;;) {
        const ByteRing::Span span = WaitForRoom(s);
        if (span.size == 0) {
            return;
        }
        // A read without waiting returns what has come, up to the span: what arrived before a
        // pause reaches the reader at once, and a fast stream is read in large pieces. With
        // nothing there it is pending until data comes, and is then made again: a pending read
        // without waiting copies nothing into its buffer, it only tells that data has come
        // (WinINet's conformance tests, run on Windows and Wine alike, check just that). An
        // empty read that returns at once is the end.
        s.buffers = INTERNET_BUFFERSW{};
        s.buffers.dwStructSize = sizeof s.buffers;
        s.buffers.lpvBuffer = span.data;
        s.buffers.dwBufferLength = span.size;
        const BOOL read = Net().InternetReadFileExW(request, &s.buffers, IRF_NO_WAIT,
                                                    reinterpret_cast<DWORD_PTR>(&s));
        if (!read) {
            DWORD error = 0;
            if (GetLastError() == ERROR_IO_PENDING && Complete(s, FALSE, error)) {
                continue;
            }
            FailRequest(s, 0);
            return;
        }
        const DWORD got = std::min<DWORD>(s.buffers.dwBufferLength, span.size);
        if (got == 0) {
            Apply(s, [](TransferRequest& core) { return core.endOfBody(); });
            return;
        }
        Apply(s, [&](TransferRequest& core) { return core.deliver(got, got == span.size, Now()); });
    }
}

// The response is in: the rules keep what the reader may ask about, so that it never touches
// the request handle while the worker reads from it.
void Respond(WinInetShared& s, HINTERNET request) {
    const int status = QueryStatus(request);
    std::wstring headers = QueryRawHeaders(request);
    Apply(s,
          [&](TransferRequest& core) { return core.respond(status, std::move(headers), Now()); });
}

void CloseRequest(WinInetShared& s) {
    unique_hinternet request;
    {
        ExclusiveLock hold(s.lock);
        request = std::move(s.request);
    }
    GiveUp(std::move(request));
}

void SetTimeouts(HINTERNET handle) {
    DWORD timeout = kTimeoutMs;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                               INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        Net().InternetSetOptionW(handle, option, &timeout, sizeof timeout);
    }
}

// Opens and sends one GET on its own connection. The request, kept in `s` for cancel and the
// watch, or null when it failed (reported) or was cancelled.
HINTERNET SendRequest(WinInetShared& s, HINTERNET connection, const UrlParts& parts,
                      const std::wstring& extraHeaders) {
    // Always from the server (a proxy's cache too: whether anything is new is the server's
    // answer), nothing kept, so no conditions but the caller's, no dialogs, no cookies; https
    // checks the certificate fully (no flag relaxes it).
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                  INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (parts.secure) {
        flags |= INTERNET_FLAG_SECURE;
    }
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    unique_hinternet opened(Net().HttpOpenRequestW(connection, L"GET", parts.object.c_str(),
                                                   nullptr, nullptr, acceptTypes, flags,
                                                   reinterpret_cast<DWORD_PTR>(&s)));
    if (!opened) {
        FailRequest(s, 0);
        return nullptr;
    }
    HINTERNET request = opened.get();
    {
        // Reachable for cancel and the watch from now on, unless either came first.
        ExclusiveLock hold(s.lock);
        if (!s.core.open()) {
            return nullptr;
        }
        s.request = std::move(opened);
    }
    SetTimeouts(request);
    // One request per connection: no idle connection (and pool thread) is kept for later.
    const std::wstring headers = L"Connection: close\r\n" + extraHeaders;
    DWORD error = 0;
    if (!Complete(s,
                  Net().HttpSendRequestW(request, headers.c_str(),
                                         static_cast<DWORD>(headers.size()), nullptr, 0),
                  error)) {
        FailRequest(s, error);
        CloseRequest(s);
        return nullptr;
    }
    return request;
}

}  // namespace

void RunRequest(WinInetShared& s) {
    std::wstring url;
    std::wstring extraHeaders;
    {
        ExclusiveLock hold(s.lock);
        url = s.url;
        extraHeaders = s.requestHeaders;
    }
    if (LoadWinInetLibrary() == nullptr) {
        FailRequest(s, 0);
        return;
    }
    // The system's proxy settings apply.
    const unique_hinternet session(Net().InternetOpenW(L"Update", INTERNET_OPEN_TYPE_PRECONFIG,
                                                       nullptr, nullptr, INTERNET_FLAG_ASYNC));
    if (!session) {
        FailRequest(s, 0);
        return;
    }
    SetTimeouts(session.get());
    // Handles made below inherit the callback; their nonzero context turns it on.
    Net().InternetSetStatusCallbackW(session.get(), &OnInternetStatus);
    RedirectChain chain;
    for (;;) {
        const std::optional<UrlParts> parts = CrackUrl(url);
        if (!parts) {
            FailRequest(s, 0);
            return;
        }
        if (!chain.allows(parts->secure)) {
            FailRequest(s, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
            return;
        }
        const unique_hinternet connection(Net().InternetConnectW(
            session.get(), parts->host.c_str(), parts->port, nullptr, nullptr,
            INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(&s)));
        if (!connection) {
            FailRequest(s, 0);
            return;
        }
        SetTimeouts(connection.get());
        HINTERNET request = SendRequest(s, connection.get(), *parts, extraHeaders);
        if (request == nullptr) {
            return;
        }
        std::optional<std::wstring> target = RedirectTarget(request, url);
        if (!target || !chain.follow()) {
            Respond(s, request);
            StreamBody(s, request);
            CloseRequest(s);
            return;
        }
        CloseRequest(s);
        url = std::move(*target);
    }
}

}  // namespace ombrix
