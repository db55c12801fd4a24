#include "platform/win32/transfer_wininet.h"

#include <wininet.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/byte_ring.h"
#include "platform/http_response.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wininet_library.h"

namespace ombrix {

namespace {

// WinINet's functions; every path here that calls one runs after the worker loaded them.
const WinInetLibrary& Net() {
    return *LoadWinInetLibrary();
}

void CloseNetHandle(HINTERNET handle) {
    Net().InternetCloseHandle(handle);
}
// The session and connection owners: the project's handle owner, closing through the table.
using NetHandle = unique_any<handle_traits::NullInvalid<HINTERNET, CloseNetHandle>>;

// The body streams through this ring; it is never held whole. Reads take up to kMaxRead of
// what has come: under Wine every read costs the same few socket calls whatever its size, so
// a fast stream read in 512 KiB pieces goes faster than a plain reader's 64 KiB reads (64 KiB
// pieces reached about two thirds of it; 1 MiB pieces gained little more and cost 2 MiB).
constexpr std::uint32_t kRingBytes = 2048 * 1024;
constexpr std::uint32_t kMaxRead = 512 * 1024;
// The worker waits while less than this is free...
constexpr std::uint32_t kMinRoom = 128 * 1024;
// ...and the reader wakes it only when this much is free: one wake per read, not one per chunk
// taken (every event call is a round trip to the Wine server).
constexpr std::uint32_t kWakeRoom = 512 * 1024;
// Likewise a waiting reader is woken when this much has come (or the stream is slow), not after
// every read; it also looks by itself this often, so that data below that mark is not held
// back long.
constexpr std::uint32_t kWakeData = 512 * 1024;
constexpr DWORD kReaderPollMs = 20;
// No byte for this long, while there is room for one, fails the request. WinINet's own
// timeouts say the same, but Wine ignores some of them, so a watch of our own stands behind.
constexpr DWORD kStallMs = 60 * 1000;
constexpr DWORD kWatchMs = 500;
constexpr DWORD kWorkerJoinMs = 2000;
// Redirects are followed here rather than by WinINet, so that every target is checked before
// anything is sent to it; a longer chain ends with the last redirect as the response.
constexpr int kMaxRedirects = 10;

enum class Phase { Idle, Requesting, Streaming, Ended, Failed };

bool IsFinal(Phase phase) {
    return phase == Phase::Ended || phase == Phase::Failed;
}

}  // namespace

// What one request's worker, its watch and the component share. Each thread holds its own
// reference, so the state outlives a component destroyed (or a request given up) while the
// worker is still inside a network call.
struct WinInetShared {
    HWND window = nullptr;
    UINT message = 0;
    bool quiet = false;       // a resume reports no states
    bool unusable = false;    // an operation other than "get": fails at once
    unique_handle dataReady;  // set by the worker for a waiting reader
    unique_handle roomFreed;  // set by the reader (or cancel) for a waiting worker
    unique_handle over;       // set when the request has ended, failed or was cancelled
    unique_handle completed;  // set by WinINet's callback when a pending call has completed
    // The worker's read, here rather than on its stack: WinINet keeps it while a read is pending.
    INTERNET_BUFFERSW buffers{};
    ByteRing ring{kRingBytes};

    SRWLOCK lock = SRWLOCK_INIT;
    // Guarded by lock, except the free part of the ring, which only the worker touches.
    std::wstring url;
    std::wstring requestHeaders;
    bool readerWaiting = false;
    bool workerWaiting = false;  // for room in the ring: the stall clock stands still
    bool cancelled = false;
    bool silenced = false;  // nothing is posted after a final state (11 or 12)
    int lastPosted = 0;
    Phase phase = Phase::Idle;
    bool responded = false;
    int status = 0;
    std::wstring rawHeaders;
    bool certificateRejected = false;
    DWORD_PTR asyncResult = 0;  // of the last pending call: nonzero when it succeeded
    DWORD asyncError = 0;
    ULONGLONG lastSignAt = 0;     // the last byte, or the last step of the request
    HINTERNET request = nullptr;  // closed by the worker when done, or by cancel or the watch
};

namespace {

int StateOfStatus(DWORD status) {
    switch (status) {
        case INTERNET_STATUS_RESOLVING_NAME:
            return kStateResolving;
        case INTERNET_STATUS_NAME_RESOLVED:
            return kStateResolved;
        case INTERNET_STATUS_CONNECTING_TO_SERVER:
            return kStateConnecting;
        case INTERNET_STATUS_CONNECTED_TO_SERVER:
            return kStateConnected;
        case INTERNET_STATUS_SENDING_REQUEST:
            return kStateRequesting;
        case INTERNET_STATUS_REQUEST_SENT:
            return kStateRequestSent;
        case INTERNET_STATUS_RECEIVING_RESPONSE:
            return kStateReceiving;
        case INTERNET_STATUS_RESPONSE_RECEIVED:
            return kStateResponseReceived;
        case INTERNET_STATUS_CLOSING_CONNECTION:
            return kStateDisconnecting;
        case INTERNET_STATUS_CONNECTION_CLOSED:
            return kStateDisconnected;
        default:
            return 0;
    }
}

// Posts a state change; a repeat of the last state, anything after a final state, anything
// after cancel and anything of a resume are dropped.
void PostStateLocked(WinInetShared& s, int state) {
    if (s.quiet || s.cancelled || s.silenced || state == s.lastPosted) {
        return;
    }
    s.lastPosted = state;
    s.silenced = state == kStateError || state == kStateResponseCompleted;
    PostMessageW(s.window, s.message, static_cast<WPARAM>(state), 0);
}

// Runs on whichever thread WinINet reports from (the worker, or another thread while a handle
// is closed): it reaches the window only by posting.
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
    const int state = StateOfStatus(status);
    if (state == 0) {
        return;
    }
    ExclusiveLock hold(shared.lock);
    if (state == kStateConnected || state == kStateRequestSent || state == kStateResponseReceived) {
        shared.lastSignAt = GetTickCount64();
    }
    PostStateLocked(shared, state);
}

void Wake(HANDLE event, bool wake) {
    if (wake && event != nullptr) {
        SetEvent(event);
    }
}

// Closes a request that is done with or given up (null: nothing to close). A call still pending
// on it reports nothing after this.
void GiveUp(HINTERNET request) {
    if (request != nullptr) {
        Net().InternetSetStatusCallbackW(request, nullptr);
        Net().InternetCloseHandle(request);
    }
}

// The session is asynchronous, so that a read can return what has come without waiting for
// more. True when `ok`, or when the pending call completed with success; false when it failed
// (`error` says why) or the request ended (stall, cancel) while the call was pending.
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

// Ends the request with `phase` unless it has ended already (a stall the watch reported stays
// the outcome, whatever the worker's late call returns).
void Finish(WinInetShared& s, Phase phase) {
    bool wakeReader = false;
    {
        ExclusiveLock hold(s.lock);
        if (IsFinal(s.phase)) {
            return;
        }
        s.phase = phase;
        if (phase == Phase::Failed) {
            PostStateLocked(s, kStateError);  // dropped once the response was reported
        }
        wakeReader = std::exchange(s.readerWaiting, false);
    }
    Wake(s.dataReady.get(), wakeReader);
    Wake(s.over.get(), true);
}

// The watch (and a waiting reader) ask this: no sign of the request for kStallMs while it could
// take data fails it, and its handle is closed so that a network call in progress ends where
// the system allows it.
void FailIfStalled(WinInetShared& s) {
    HINTERNET request = nullptr;
    bool wakeReader = false;
    {
        ExclusiveLock hold(s.lock);
        if (s.cancelled || IsFinal(s.phase) || s.phase == Phase::Idle || s.workerWaiting ||
            GetTickCount64() - s.lastSignAt < kStallMs) {
            return;
        }
        s.phase = Phase::Failed;
        PostStateLocked(s, kStateError);
        wakeReader = std::exchange(s.readerWaiting, false);
        request = std::exchange(s.request, nullptr);
    }
    Wake(s.dataReady.get(), wakeReader);
    Wake(s.roomFreed.get(), true);
    Wake(s.over.get(), true);
    GiveUp(request);
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

void FailRequest(WinInetShared& s, DWORD error) {
    {
        ExclusiveLock hold(s.lock);
        if (!IsFinal(s.phase)) {
            s.certificateRejected = IsCertificateError(error);
        }
    }
    Finish(s, Phase::Failed);
}

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

// The response is in: keep what the reader may ask about (so that it never touches the request
// handle while the worker reads from it), then report state 12. Returns the announced length,
// -1 when there is none.
std::int64_t Respond(WinInetShared& s, HINTERNET request) {
    const int status = QueryStatus(request);
    std::wstring headers = QueryRawHeaders(request);
    const std::int64_t announced =
        ReadContentLength(FindResponseHeader(headers, L"Content-Length")).length.value_or(-1);
    bool wakeReader = false;
    {
        ExclusiveLock hold(s.lock);
        if (IsFinal(s.phase)) {
            return announced;
        }
        s.status = status;
        s.rawHeaders = std::move(headers);
        s.responded = true;
        s.phase = Phase::Streaming;
        s.lastSignAt = GetTickCount64();
        PostStateLocked(s, kStateResponseCompleted);
        wakeReader = std::exchange(s.readerWaiting, false);
    }
    Wake(s.dataReady.get(), wakeReader);
    return announced;
}

// Waits until the ring has room for a read; returns the free span that follows the data, or an
// empty one once the request is over.
ByteRing::Span WaitForRoom(WinInetShared& s) {
    for (bool waited = false;; waited = true) {
        {
            ExclusiveLock hold(s.lock);
            if (s.cancelled || IsFinal(s.phase)) {
                return {};
            }
            if (s.ring.room() >= kMinRoom) {
                if (waited) {
                    s.lastSignAt = GetTickCount64();  // the stall clock starts again
                }
                return s.ring.freeSpan(kMaxRead);
            }
            s.workerWaiting = true;
        }
        WaitForSingleObject(s.roomFreed.get(), INFINITE);
    }
}

// A waiting reader is woken once kWakeData is buffered, or at once when the read came back
// short of what was asked (the stream is slower than the reads).
void Deliver(WinInetShared& s, DWORD bytes, bool fullRead) {
    bool wakeReader = false;
    {
        ExclusiveLock hold(s.lock);
        if (IsFinal(s.phase) || s.cancelled) {
            return;
        }
        s.ring.commit(bytes);
        s.lastSignAt = GetTickCount64();
        if (s.readerWaiting && (!fullRead || s.ring.buffered() >= kWakeData)) {
            s.readerWaiting = false;
            wakeReader = true;
        }
    }
    Wake(s.dataReady.get(), wakeReader);
}

// A body that ends before its announced length broke off, however cleanly the connection
// closed: under Wine a reset that arrives before the data was read looks like a plain close.
void StreamBody(WinInetShared& s, HINTERNET request, std::int64_t announced) {
    std::int64_t delivered = 0;
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
            Finish(s, Phase::Failed);
            return;
        }
        const DWORD got = std::min<DWORD>(s.buffers.dwBufferLength, span.size);
        if (got == 0) {
            Finish(s, announced >= 0 && delivered < announced ? Phase::Failed : Phase::Ended);
            return;
        }
        delivered += got;
        Deliver(s, got, got == span.size);
    }
}

// Makes the request handle reachable for cancel and the watch; false when either came first.
bool Publish(WinInetShared& s, HINTERNET request) {
    ExclusiveLock hold(s.lock);
    if (s.cancelled || IsFinal(s.phase)) {
        return false;
    }
    s.request = request;
    return true;
}

void CloseRequest(WinInetShared& s) {
    HINTERNET request = nullptr;
    {
        ExclusiveLock hold(s.lock);
        request = std::exchange(s.request, nullptr);
    }
    GiveUp(request);
}

// Connect, send and receive each give up after kStallMs without progress. Wine honours these
// only on the request handle, Windows on every level; they are set on all.
void SetTimeouts(HINTERNET handle) {
    DWORD timeout = kStallMs;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                               INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        Net().InternetSetOptionW(handle, option, &timeout, sizeof timeout);
    }
}

// Opens and sends one GET on its own connection. The request, published for cancel, or null
// when it failed (reported) or was cancelled.
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
    HINTERNET request =
        Net().HttpOpenRequestW(connection, L"GET", parts.object.c_str(), nullptr, nullptr,
                               acceptTypes, flags, reinterpret_cast<DWORD_PTR>(&s));
    if (request == nullptr) {
        Finish(s, Phase::Failed);
        return nullptr;
    }
    if (!Publish(s, request)) {
        Net().InternetCloseHandle(request);
        return nullptr;
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

void RunRequest(WinInetShared& s) {
    std::wstring url;
    std::wstring extraHeaders;
    {
        ExclusiveLock hold(s.lock);
        url = s.url;
        extraHeaders = s.requestHeaders;
    }
    if (LoadWinInetLibrary() == nullptr) {
        Finish(s, Phase::Failed);
        return;
    }
    // The system's proxy settings apply.
    const NetHandle session(Net().InternetOpenW(L"Update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                                nullptr, INTERNET_FLAG_ASYNC));
    if (!session) {
        Finish(s, Phase::Failed);
        return;
    }
    SetTimeouts(session.get());
    // Handles made below inherit the callback; their nonzero context turns it on.
    Net().InternetSetStatusCallbackW(session.get(), &OnInternetStatus);
    bool secure = false;
    for (int redirects = 0;; ++redirects) {
        const std::optional<UrlParts> parts = CrackUrl(url);
        if (!parts) {
            Finish(s, Phase::Failed);
            return;
        }
        if (secure && !parts->secure) {
            // Once on https, never back to http: an unchecked answer could lead anywhere.
            FailRequest(s, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
            return;
        }
        secure = parts->secure;
        const NetHandle connection(Net().InternetConnectW(
            session.get(), parts->host.c_str(), parts->port, nullptr, nullptr,
            INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(&s)));
        if (!connection) {
            Finish(s, Phase::Failed);
            return;
        }
        SetTimeouts(connection.get());
        HINTERNET request = SendRequest(s, connection.get(), *parts, extraHeaders);
        if (request == nullptr) {
            return;
        }
        std::optional<std::wstring> target = RedirectTarget(request, url);
        if (!target || redirects == kMaxRedirects) {
            StreamBody(s, request, Respond(s, request));
            CloseRequest(s);
            return;
        }
        CloseRequest(s);
        url = std::move(*target);
    }
}

using SharedRef = std::shared_ptr<WinInetShared>;

DWORD WINAPI WorkerMain(void* parameter) {
    const std::unique_ptr<SharedRef> shared(static_cast<SharedRef*>(parameter));
    RunRequest(**shared);
    return 0;
}

DWORD WINAPI WatchMain(void* parameter) {
    const std::unique_ptr<SharedRef> shared(static_cast<SharedRef*>(parameter));
    WinInetShared& s = **shared;
    while (WaitForSingleObject(s.over.get(), kWatchMs) == WAIT_TIMEOUT) {
        FailIfStalled(s);
    }
    return 0;
}

// Starts `entry` on its own thread with its own reference to `shared`; empty on failure.
unique_handle StartThread(LPTHREAD_START_ROUTINE entry, const SharedRef& shared) {
    auto reference = std::make_unique<SharedRef>(shared);
    unique_handle thread =
        unique_handle(CreateThread(nullptr, 0, entry, reference.get(), 0, nullptr));
    if (thread) {
        static_cast<void>(reference.release());  // the thread owns it now
    }
    return thread;
}

// Stops one request: its reads return empty, its worker and watch end as soon as they can.
void CancelAttempt(WinInetShared& s) {
    HINTERNET request = nullptr;
    {
        ExclusiveLock hold(s.lock);
        if (s.cancelled) {
            return;
        }
        s.cancelled = true;
        request = std::exchange(s.request, nullptr);
    }
    Wake(s.roomFreed.get(), true);
    Wake(s.dataReady.get(), true);
    Wake(s.over.get(), true);
    // Ends a network call in progress where the system allows it (Windows does; Wine lets the
    // call run to its data or its timeout, and the worker then stops).
    GiveUp(request);
}

}  // namespace

WinInetTransfer::WinInetTransfer(HWND window, UINT message, std::function<void()> pumpEvents)
    : window_(window),
      message_(message),
      shared_(std::make_shared<WinInetShared>()),
      pumpEvents_(std::move(pumpEvents)) {}

WinInetTransfer::~WinInetTransfer() {
    cancel();
}

void WinInetTransfer::start(std::shared_ptr<WinInetShared> attempt) {
    WinInetShared& s = *attempt;
    s.window = window_;
    s.message = message_;
    s.dataReady = unique_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    s.roomFreed = unique_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    s.over = unique_handle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    s.completed = unique_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    s.phase = Phase::Requesting;
    s.lastSignAt = GetTickCount64();
    shared_ = std::move(attempt);
    if (s.unusable || !s.dataReady || !s.roomFreed || !s.over || !s.completed) {
        Finish(s, Phase::Failed);
        return;
    }
    unique_handle worker = StartThread(&WorkerMain, shared_);
    if (!worker) {
        Finish(s, Phase::Failed);
        return;
    }
    threads_.push_back(std::move(worker));
    // Without its watch the request would still end by WinINet's own timeouts where they hold.
    if (unique_handle watch = StartThread(&WatchMain, shared_)) {
        threads_.push_back(std::move(watch));
    }
}

void WinInetTransfer::execute(const std::wstring& url, const std::wstring& operation,
                              const std::wstring& requestHeaders) {
    if (started_ || cancelled_) {
        return;
    }
    started_ = true;
    auto attempt = std::make_shared<WinInetShared>();
    attempt->url = url;
    attempt->requestHeaders = requestHeaders;
    if (CompareStringOrdinal(operation.c_str(), static_cast<int>(operation.size()), L"get", 3,
                             TRUE) != CSTR_EQUAL) {
        attempt->unusable = true;
    }
    start(std::move(attempt));
}

void WinInetTransfer::resume(const std::wstring& url, const std::wstring& requestHeaders) {
    if (!started_ || cancelled_) {
        return;
    }
    CancelAttempt(*shared_);
    // WinINet may still report on the old request from its own threads, naming it by address.
    retired_.push_back(std::move(shared_));
    auto attempt = std::make_shared<WinInetShared>();
    attempt->url = url;
    attempt->requestHeaders = requestHeaders;
    attempt->quiet = true;
    start(std::move(attempt));
}

bool WinInetTransfer::awaitResponse() {
    const std::shared_ptr<WinInetShared> shared = shared_;
    WinInetShared& s = *shared;
    std::function<void()> pump = pumpEvents_ ? pumpEvents_ : [] {};
    for (;;) {
        {
            ExclusiveLock hold(s.lock);
            if (s.cancelled) {
                return false;
            }
            if (s.responded) {
                return true;
            }
            if (IsFinal(s.phase) || s.phase == Phase::Idle) {
                return false;
            }
            s.readerWaiting = true;
        }
        HANDLE ready = s.dataReady.get();
        MsgWaitForMultipleObjectsEx(1, &ready, kReaderPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        FailIfStalled(s);
        pump();
    }
}

std::wstring WinInetTransfer::header(const std::wstring& name) {
    ExclusiveLock hold(shared_->lock);
    return FindResponseHeader(shared_->rawHeaders, name);
}

int WinInetTransfer::httpStatus() {
    ExclusiveLock hold(shared_->lock);
    return shared_->status;
}

std::vector<std::uint8_t> WinInetTransfer::getChunk(std::size_t maxBytes) {
    std::vector<std::uint8_t> chunk;
    getChunkInto(maxBytes, chunk);
    return chunk;
}

void WinInetTransfer::getChunkInto(std::size_t maxBytes, std::vector<std::uint8_t>& chunk) {
    chunk.clear();
    if (maxBytes == 0) {
        return;
    }
    // Held here: an event handled by the pump may destroy the component while we wait.
    const std::shared_ptr<WinInetShared> shared = shared_;
    WinInetShared& s = *shared;
    std::function<void()> pump;
    for (;;) {
        bool wakeWorker = false;
        {
            ExclusiveLock hold(s.lock);
            if (s.cancelled) {
                return;
            }
            if (s.ring.buffered() > 0) {
                s.ring.take(maxBytes, chunk);
                wakeWorker = s.workerWaiting && s.ring.room() >= kWakeRoom;
                if (wakeWorker) {
                    s.workerWaiting = false;
                    s.lastSignAt = GetTickCount64();
                }
            } else if (s.phase != Phase::Requesting && s.phase != Phase::Streaming) {
                return;
            } else {
                s.readerWaiting = true;
            }
        }
        if (!chunk.empty()) {
            Wake(s.roomFreed.get(), wakeWorker);
            return;
        }
        if (!pump) {
            // Copied before the first pump, while the component surely still exists.
            pump = pumpEvents_ ? pumpEvents_ : [] {};
        }
        HANDLE ready = s.dataReady.get();
        MsgWaitForMultipleObjectsEx(1, &ready, kReaderPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        FailIfStalled(s);
        pump();
    }
}

bool WinInetTransfer::bodyEnded() {
    ExclusiveLock hold(shared_->lock);
    return !shared_->cancelled && shared_->phase == Phase::Ended && shared_->ring.buffered() == 0;
}

bool WinInetTransfer::failed() {
    ExclusiveLock hold(shared_->lock);
    return !shared_->cancelled && shared_->phase == Phase::Failed && shared_->ring.buffered() == 0;
}

bool WinInetTransfer::certificateRejected() {
    ExclusiveLock hold(shared_->lock);
    return shared_->certificateRejected;
}

void WinInetTransfer::cancel() {
    cancelled_ = true;
    CancelAttempt(*shared_);
    // Each thread ends at once on a cancelled request (its waits include the cancel's event).
    std::vector<HANDLE> running;
    for (const unique_handle& thread : threads_) {
        running.push_back(thread.get());
    }
    if (!running.empty()) {
        WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), TRUE,
                               kWorkerJoinMs);
    }
    threads_.clear();
}

}  // namespace ombrix
