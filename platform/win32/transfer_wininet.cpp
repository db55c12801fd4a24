#include "platform/win32/transfer_wininet.h"

#include <utility>

#include "platform/http_response.h"
#include "platform/win32/transfer_wininet_shared.h"

namespace ombrix {

namespace {

// A waiting reader also looks by itself this often, so that data below the mark that wakes it
// is not held back long.
constexpr DWORD kReaderPollMs = 20;
constexpr DWORD kWatchMs = 500;
constexpr DWORD kWorkerJoinMs = 2000;

// The watch (and a waiting reader) ask this: no sign of the request for the stall time while it
// could take data fails it, and its handle is closed so that a network call in progress ends
// where the system allows it.
void FailIfStalled(WinInetShared& s) {
    Apply(s, [](TransferRequest& core) { return core.failIfStalled(Now()); });
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

// Stops one request: its reads return empty, its worker and watch end as soon as they can. Its
// handle is closed, which ends a network call in progress where the system allows it (Windows
// does; Wine lets the call run to its data or its timeout, and the worker then stops).
void CancelAttempt(WinInetShared& s) {
    Apply(s, [](TransferRequest& core) { return core.cancel(); });
}

}  // namespace

WinInetTransfer::WinInetTransfer(TransferEvents& events, std::function<void()> pumpEvents)
    : states_(events),
      shared_(std::make_shared<WinInetShared>(false)),
      pumpEvents_(std::move(pumpEvents)) {}

WinInetTransfer::~WinInetTransfer() {
    cancel();
}

void WinInetTransfer::start(std::shared_ptr<WinInetShared> attempt) {
    WinInetShared& s = *attempt;
    s.states = states_.handle();
    s.dataReady = unique_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    s.roomFreed = unique_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    s.over = unique_handle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    s.completed = unique_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    {
        ExclusiveLock hold(s.lock);
        s.core.begin(Now());
    }
    shared_ = std::move(attempt);
    if (s.unusable || !s.dataReady || !s.roomFreed || !s.over || !s.completed) {
        FailRequest(s, 0);
        return;
    }
    unique_handle worker = StartThread(&WorkerMain, shared_);
    if (!worker) {
        FailRequest(s, 0);
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
    if (cancelled_) {
        return;
    }
    if (started_) {
        CancelAttempt(*shared_);
        // WinINet may still report on the old request from its own threads, naming it by address.
        retired_.push_back(std::move(shared_));
    }
    started_ = true;
    auto attempt = std::make_shared<WinInetShared>(false);
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
    auto attempt = std::make_shared<WinInetShared>(true);  // a resume reports no states
    attempt->url = url;
    attempt->requestHeaders = requestHeaders;
    start(std::move(attempt));
}

bool WinInetTransfer::awaitResponse() {
    const std::shared_ptr<WinInetShared> shared = shared_;
    WinInetShared& s = *shared;
    std::function<void()> pump = pumpEvents_ ? pumpEvents_ : [] {};
    for (;;) {
        {
            ExclusiveLock hold(s.lock);
            bool wait = false;
            const bool responded = s.core.responded(wait);
            if (!wait) {
                return responded;
            }
        }
        HANDLE ready = s.dataReady.get();
        MsgWaitForMultipleObjectsEx(1, &ready, kReaderPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        FailIfStalled(s);
        pump();
    }
}

std::wstring WinInetTransfer::header(const std::wstring& name) {
    ExclusiveLock hold(shared_->lock);
    return FindResponseHeader(shared_->core.rawHeaders(), name);
}

int WinInetTransfer::httpStatus() {
    ExclusiveLock hold(shared_->lock);
    return shared_->core.status();
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
        TransferWakes wakes;
        TransferRequest::Next next = TransferRequest::Next::Done;
        {
            ExclusiveLock hold(s.lock);
            next = s.core.take(maxBytes, chunk, Now(), wakes);
        }
        if (next == TransferRequest::Next::Done) {
            Apply(s, wakes);
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
    return shared_->core.bodyEnded();
}

bool WinInetTransfer::failed() {
    ExclusiveLock hold(shared_->lock);
    return shared_->core.failed();
}

bool WinInetTransfer::certificateRejected() {
    ExclusiveLock hold(shared_->lock);
    return shared_->core.certificateRejected();
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
