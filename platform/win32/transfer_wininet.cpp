#include "platform/win32/transfer_wininet.h"

#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string_view>
#include <utility>

namespace ombrix {

namespace {

// The body streams through this ring; it is never held whole.
constexpr std::uint32_t kRingBytes = 256 * 1024;
constexpr std::uint32_t kMaxRead = 64 * 1024;
// The worker waits while less than this is free...
constexpr std::uint32_t kMinRoom = 16 * 1024;
// ...and the reader wakes it only when this much is free: one wake per tens of kilobytes, not
// one per chunk taken (every event call is a round trip to the Wine server).
constexpr std::uint32_t kWakeRoom = 64 * 1024;
// Likewise a waiting reader is woken when this much has come (or the stream is slow), not after
// every read; it also looks by itself this often, so that data stuck below that mark (a fast
// stream that paused) is not held back long.
constexpr std::uint32_t kWakeData = 128 * 1024;
constexpr DWORD kReaderPollMs = 20;
// With this much already waiting the stream is fast: a full read fills at once. With less, only
// what has arrived is read, because a synchronous read waits until its whole buffer is filled.
constexpr DWORD kFastStream = 4 * 1024;
constexpr DWORD kNetworkTimeoutMs = 60 * 1000;
constexpr DWORD kWorkerJoinMs = 2000;
// Redirects are followed here rather than by WinINet, so that every target is checked before
// anything is sent to it; a longer chain ends with the last redirect as the response.
constexpr int kMaxRedirects = 10;

enum class Phase { Idle, Requesting, Streaming, Ended, Failed };

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring_view Trimmed(std::wstring_view text) {
    const auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

}  // namespace

// What the worker thread and the component share. The worker holds its own reference, so the
// state outlives a component destroyed while the worker is still inside a network call.
struct WinInetShared {
    HWND window = nullptr;
    UINT message = 0;
    unique_handle dataReady;  // set by the worker for a waiting reader
    unique_handle roomFreed;  // set by the reader (or cancel) for a waiting worker
    std::vector<std::uint8_t> ring = std::vector<std::uint8_t>(kRingBytes);

    SRWLOCK lock = SRWLOCK_INIT;
    // Guarded by lock, except the free part of the ring, which only the worker touches.
    std::wstring url;
    std::uint32_t produced = 0;  // bytes put into the ring so far (wraps around)
    std::uint32_t consumed = 0;  // bytes taken out so far (wraps around)
    bool readerWaiting = false;
    bool workerWaiting = false;
    bool cancelled = false;
    bool silenced = false;  // nothing is posted after a final state (11 or 12)
    int lastPosted = 0;
    Phase phase = Phase::Idle;
    int status = 0;
    std::wstring rawHeaders;
    bool certificateRejected = false;
    HINTERNET request = nullptr;  // closed by the worker when done, or by cancel
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

// Posts a state change; a repeat of the last state, anything after a final state and anything
// after cancel are dropped.
void PostStateLocked(WinInetShared& s, int state) {
    if (s.cancelled || s.silenced || state == s.lastPosted) {
        return;
    }
    s.lastPosted = state;
    s.silenced = state == kStateError || state == kStateResponseCompleted;
    PostMessageW(s.window, s.message, static_cast<WPARAM>(state), 0);
}

// Runs on whichever thread WinINet reports from (the worker, or the user-interface thread while
// cancel closes a handle): it reaches the window only by posting.
void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    const int state = StateOfStatus(status);
    if (state == 0 || context == 0) {
        return;
    }
    auto& shared = *reinterpret_cast<WinInetShared*>(context);
    ExclusiveLock hold(shared.lock);
    PostStateLocked(shared, state);
}

void Finish(WinInetShared& s, Phase phase) {
    bool wakeReader = false;
    {
        ExclusiveLock hold(s.lock);
        s.phase = phase;
        if (phase == Phase::Failed) {
            PostStateLocked(s, kStateError);  // dropped once the response was reported
        }
        wakeReader = std::exchange(s.readerWaiting, false);
    }
    if (wakeReader) {
        SetEvent(s.dataReady.get());
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

void FailRequest(WinInetShared& s, DWORD error) {
    {
        ExclusiveLock hold(s.lock);
        s.certificateRejected = IsCertificateError(error);
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
    if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
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
    HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &bytes, nullptr);
    if (bytes == 0) {
        return {};
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &bytes, nullptr)) {
        return {};
    }
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

// The announced body length, or -1 when there is none (or it is not a number).
std::int64_t AnnouncedLength(const std::wstring& rawHeaders) {
    const std::wstring text = FindResponseHeader(rawHeaders, L"Content-Length");
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return -1;
    }
    return std::stoll(text);
}

int QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD bytes = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &bytes,
                        nullptr)) {
        return 0;
    }
    return static_cast<int>(status);
}

// Where a redirect response sends the request, resolved against the URL it answered; nothing
// for any other response (and for a redirect without a usable Location, which then stands as
// the response).
std::optional<std::wstring> RedirectTarget(HINTERNET request, const std::wstring& url) {
    switch (QueryStatus(request)) {
        case 301:
        case 302:
        case 303:
        case 307:
        case 308:
            break;
        default:
            return std::nullopt;
    }
    const std::wstring location = FindResponseHeader(QueryRawHeaders(request), L"Location");
    if (location.empty()) {
        return std::nullopt;
    }
    std::wstring target(INTERNET_MAX_URL_LENGTH + 1, L'\0');
    DWORD length = static_cast<DWORD>(target.size());
    if (!InternetCombineUrlW(url.c_str(), location.c_str(), target.data(), &length, 0)) {
        return std::nullopt;
    }
    target.resize(length);
    return target;
}

// The response is in: keep what the reader may ask about (so that it never touches the request
// handle while the worker reads from it), then report state 12. Returns the announced length.
std::int64_t Respond(WinInetShared& s, HINTERNET request) {
    const int status = QueryStatus(request);
    std::wstring headers = QueryRawHeaders(request);
    const std::int64_t announced = AnnouncedLength(headers);
    ExclusiveLock hold(s.lock);
    s.status = status;
    s.rawHeaders = std::move(headers);
    s.phase = Phase::Streaming;
    PostStateLocked(s, kStateResponseCompleted);
    return announced;
}

struct FreeSpan {
    std::uint8_t* data = nullptr;  // null when the transfer was cancelled
    DWORD size = 0;
};

// Waits until the ring has room for a read; returns the free span that follows the data.
FreeSpan WaitForRoom(WinInetShared& s) {
    for (;;) {
        {
            ExclusiveLock hold(s.lock);
            if (s.cancelled) {
                return {};
            }
            const std::uint32_t room = kRingBytes - (s.produced - s.consumed);
            if (room >= kMinRoom) {
                const std::uint32_t start = s.produced % kRingBytes;
                return {s.ring.data() + start, std::min({room, kRingBytes - start, kMaxRead})};
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
        s.produced += bytes;
        if (s.readerWaiting && (!fullRead || s.produced - s.consumed >= kWakeData)) {
            s.readerWaiting = false;
            wakeReader = true;
        }
    }
    if (wakeReader) {
        SetEvent(s.dataReady.get());
    }
}

// A body that ends before its announced length broke off, however cleanly the connection
// closed: under Wine a reset that arrives before the data was read looks like a plain close.
void StreamBody(WinInetShared& s, HINTERNET request, std::int64_t announced) {
    std::int64_t delivered = 0;
    for (;;) {
        const FreeSpan span = WaitForRoom(s);
        if (span.data == nullptr) {
            return;
        }
        // Asking first keeps a read from waiting for more than has come: what arrived before a
        // pause reaches the reader at once.
        DWORD waiting = 0;
        if (!InternetQueryDataAvailable(request, &waiting, 0, 0)) {
            Finish(s, Phase::Failed);
            return;
        }
        // Nothing waiting means the end: the read then confirms that it is a clean one.
        const DWORD want =
            waiting == 0 || waiting >= kFastStream ? span.size : std::min(waiting, span.size);
        DWORD got = 0;
        if (!InternetReadFile(request, span.data, want, &got)) {
            Finish(s, Phase::Failed);
            return;
        }
        if (got == 0) {
            Finish(s, announced >= 0 && delivered < announced ? Phase::Failed : Phase::Ended);
            return;
        }
        delivered += got;
        Deliver(s, got, got == span.size);
    }
}

// Makes the request handle reachable for cancel; false when cancel came first.
bool Publish(WinInetShared& s, HINTERNET request) {
    ExclusiveLock hold(s.lock);
    if (s.cancelled) {
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
    if (request != nullptr) {
        InternetCloseHandle(request);
    }
}

// Opens and sends one GET on its own connection. The request, published for cancel, or null
// when it failed (reported) or was cancelled.
HINTERNET SendRequest(WinInetShared& s, HINTERNET connection, const UrlParts& parts) {
    // Always from the server, nothing kept, no dialogs, no cookies; https checks the
    // certificate fully (no flag relaxes it).
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (parts.secure) {
        flags |= INTERNET_FLAG_SECURE;
    }
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    HINTERNET request = HttpOpenRequestW(connection, L"GET", parts.object.c_str(), nullptr, nullptr,
                                         acceptTypes, flags, reinterpret_cast<DWORD_PTR>(&s));
    if (request == nullptr) {
        Finish(s, Phase::Failed);
        return nullptr;
    }
    if (!Publish(s, request)) {
        InternetCloseHandle(request);
        return nullptr;
    }
    // One request per connection: no idle connection (and pool thread) is kept for later.
    static const wchar_t kCloseHeader[] = L"Connection: close\r\n";
    if (!HttpSendRequestW(request, kCloseHeader, static_cast<DWORD>(-1L), nullptr, 0)) {
        FailRequest(s, GetLastError());
        CloseRequest(s);
        return nullptr;
    }
    return request;
}

void RunRequest(WinInetShared& s) {
    std::wstring url;
    {
        ExclusiveLock hold(s.lock);
        url = s.url;
    }
    // The system's proxy settings apply.
    const unique_hinternet session(
        InternetOpenW(L"Update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        Finish(s, Phase::Failed);
        return;
    }
    DWORD timeout = kNetworkTimeoutMs;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(session.get(), option, &timeout, sizeof timeout);
    }
    // Handles made below inherit the callback; their nonzero context turns it on.
    InternetSetStatusCallbackW(session.get(), &OnInternetStatus);
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
        const unique_hinternet connection(
            InternetConnectW(session.get(), parts->host.c_str(), parts->port, nullptr, nullptr,
                             INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(&s)));
        if (!connection) {
            Finish(s, Phase::Failed);
            return;
        }
        HINTERNET request = SendRequest(s, connection.get(), *parts);
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

DWORD WINAPI WorkerMain(void* parameter) {
    const std::unique_ptr<std::shared_ptr<WinInetShared>> shared(
        static_cast<std::shared_ptr<WinInetShared>*>(parameter));
    RunRequest(**shared);
    return 0;
}

}  // namespace

WinInetTransfer::WinInetTransfer(HWND window, UINT message, std::function<void()> pumpEvents)
    : shared_(std::make_shared<WinInetShared>()), pumpEvents_(std::move(pumpEvents)) {
    shared_->window = window;
    shared_->message = message;
    shared_->dataReady.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    shared_->roomFreed.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

WinInetTransfer::~WinInetTransfer() {
    cancel();
    if (worker_) {
        WaitForSingleObject(worker_.get(), kWorkerJoinMs);
    }
}

void WinInetTransfer::execute(const std::wstring& url, const std::wstring& operation) {
    WinInetShared& s = *shared_;
    {
        ExclusiveLock hold(s.lock);
        if (s.phase != Phase::Idle || s.cancelled) {
            return;
        }
        s.phase = Phase::Requesting;
        s.url = url;
    }
    if (!EqualsIgnoreCase(operation, L"get") || !s.dataReady || !s.roomFreed) {
        Finish(s, Phase::Failed);
        return;
    }
    auto reference = std::make_unique<std::shared_ptr<WinInetShared>>(shared_);
    worker_.reset(CreateThread(nullptr, 0, &WorkerMain, reference.get(), 0, nullptr));
    if (!worker_) {
        Finish(s, Phase::Failed);
        return;
    }
    static_cast<void>(reference.release());  // the worker owns it now
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
    if (maxBytes == 0) {
        return {};
    }
    // Held here: an event handled by the pump may destroy the component while we wait.
    const std::shared_ptr<WinInetShared> shared = shared_;
    WinInetShared& s = *shared;
    std::function<void()> pump;
    for (;;) {
        std::vector<std::uint8_t> chunk;
        bool wakeWorker = false;
        {
            ExclusiveLock hold(s.lock);
            if (s.cancelled) {
                return {};
            }
            const std::uint32_t waiting = s.produced - s.consumed;
            if (waiting > 0) {
                const auto count =
                    static_cast<std::uint32_t>(std::min<std::size_t>(maxBytes, waiting));
                const std::uint32_t start = s.consumed % kRingBytes;
                const std::uint32_t first = std::min(count, kRingBytes - start);
                chunk.resize(count);
                std::memcpy(chunk.data(), s.ring.data() + start, first);
                std::memcpy(chunk.data() + first, s.ring.data(), count - first);
                s.consumed += count;
                wakeWorker = s.workerWaiting && kRingBytes - (waiting - count) >= kWakeRoom;
                if (wakeWorker) {
                    s.workerWaiting = false;
                }
            } else if (s.phase != Phase::Requesting && s.phase != Phase::Streaming) {
                return {};
            } else {
                s.readerWaiting = true;
            }
        }
        if (!chunk.empty()) {
            if (wakeWorker) {
                SetEvent(s.roomFreed.get());
            }
            return chunk;
        }
        if (!pump) {
            // Copied before the first pump, while the component surely still exists.
            pump = pumpEvents_ ? pumpEvents_ : [] {};
        }
        HANDLE ready = s.dataReady.get();
        MsgWaitForMultipleObjectsEx(1, &ready, kReaderPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        pump();
    }
}

bool WinInetTransfer::bodyEnded() {
    ExclusiveLock hold(shared_->lock);
    return !shared_->cancelled && shared_->phase == Phase::Ended &&
           shared_->produced == shared_->consumed;
}

bool WinInetTransfer::failed() {
    ExclusiveLock hold(shared_->lock);
    return !shared_->cancelled && shared_->phase == Phase::Failed &&
           shared_->produced == shared_->consumed;
}

bool WinInetTransfer::certificateRejected() {
    ExclusiveLock hold(shared_->lock);
    return shared_->certificateRejected;
}

void WinInetTransfer::cancel() {
    WinInetShared& s = *shared_;
    HINTERNET request = nullptr;
    {
        ExclusiveLock hold(s.lock);
        if (s.cancelled) {
            return;
        }
        s.cancelled = true;
        request = std::exchange(s.request, nullptr);
    }
    if (s.roomFreed) {
        SetEvent(s.roomFreed.get());
    }
    if (s.dataReady) {
        SetEvent(s.dataReady.get());
    }
    // Ends a network call in progress where the system allows it (Windows does; Wine lets the
    // call run to its data or its timeout, and the worker then stops).
    if (request != nullptr) {
        InternetCloseHandle(request);
    }
}

std::wstring FindResponseHeader(const std::wstring& rawHeaders, const std::wstring& name) {
    const std::wstring_view raw(rawHeaders);
    std::size_t end = raw.find(L"\r\n");  // the status line holds no header
    while (end != std::wstring_view::npos) {
        const std::size_t start = end + 2;
        end = raw.find(L"\r\n", start);
        const std::wstring_view line =
            raw.substr(start, end == std::wstring_view::npos ? end : end - start);
        const std::size_t colon = line.find(L':');
        if (colon != std::wstring_view::npos &&
            EqualsIgnoreCase(Trimmed(line.substr(0, colon)), name)) {
            return std::wstring(Trimmed(line.substr(colon + 1)));
        }
    }
    return {};
}

}  // namespace ombrix
