// The transfer component against the local test server, where the real WinINet decides: states
// on the user-interface thread, the body in 1 KiB chunks, the ends of a body (clean, reset,
// longer than announced), error statuses, refused connections, slow bodies and cancel. The
// rules over them (repeats, the end of the states, completeness) are unit-tested.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "checks.h"
#include "platform/win32/transfer_wininet.h"
#include "platform/win32/unique_handle.h"
#include "transfer_run.h"

namespace ombrix::test {

namespace {

void CheckNormal(const std::wstring& url, const Bytes& expected) {
    Section(L"transfer: whole body with Content-Length");
    Run run(url);
    ASSERT(run.responded());
    CHECK_DETAIL(run.states() == kCleanStates, Describe(run.states()));
    CHECK(run.transfer->httpStatus() == 200);
    CHECK(run.transfer->header(L"Content-Length") == std::to_wstring(expected.size()));
    CHECK(run.transfer->header(L"content-length") == std::to_wstring(expected.size()));
    CHECK(run.transfer->header(L"Content-Type") == L"application/octet-stream");
    CHECK(run.transfer->header(L"X-Not-Sent").empty());
    // More than the ring holds is still on its way.
    CHECK(!run.transfer->bodyEnded() && !run.transfer->failed());

    const Body body = ReadBody(*run.transfer);
    CHECK_DETAIL(body.bytes == expected, L"got " + std::to_wstring(body.bytes.size()) +
                                             L" bytes of " + std::to_wstring(expected.size()));
    CHECK(body.largestChunk == 1024);
    CHECK(run.transfer->bodyEnded());
    CHECK(!run.transfer->failed());
    CHECK(run.transfer->getChunk(1024).empty());
}

void CheckReset(const std::wstring& url, const Bytes& expected) {
    Section(L"transfer: connection reset in the body");
    Run run(url);
    ASSERT(run.responded());
    CHECK(Contains(run.states(), TransferState::ResponseCompleted) &&
          !Contains(run.states(), TransferState::Error));
    const Body body = ReadBody(*run.transfer);
    CHECK(body.bytes.size() <= expected.size() / 2);
    CHECK(std::equal(body.bytes.begin(), body.bytes.end(), expected.begin()));
    CHECK(run.transfer->failed());
    CHECK(!run.transfer->bodyEnded());
}

void CheckLonger(const std::wstring& url, const Bytes& expected) {
    Section(L"transfer: body longer than announced");
    Run run(url);
    ASSERT(run.responded());
    // Nothing beyond the announced length is delivered.
    const Body body = ReadBody(*run.transfer);
    CHECK_DETAIL(body.bytes == Bytes(expected.begin(), expected.begin() + expected.size() / 2),
                 std::to_wstring(body.bytes.size()) + L" bytes");
    CHECK(run.transfer->bodyEnded());
    CHECK(!run.transfer->failed());
}

void CheckErrorStatus(const std::wstring& url) {
    Section(L"transfer: error status");
    Run run(url);
    ASSERT(run.responded());
    // The response arrived: ResponseCompleted, not Error; the status tells the rest.
    CHECK_DETAIL(run.states() == kCleanStates, Describe(run.states()));
    CHECK(run.transfer->httpStatus() == 404);
    const Body body = ReadBody(*run.transfer);
    CHECK(!body.bytes.empty());
    CHECK(run.transfer->header(L"Content-Length") == std::to_wstring(body.bytes.size()));
    CHECK(run.transfer->bodyEnded());
}

void CheckRefused(const std::wstring& url) {
    Section(L"transfer: connection refused");
    Run run(url);
    ASSERT(run.responded());
    CHECK_DETAIL(!run.states().empty() && run.states().back() == TransferState::Error &&
                     !Contains(run.states(), TransferState::ResponseCompleted),
                 Describe(run.states()));
    CHECK(run.transfer->failed());
    CHECK(!run.transfer->certificateRejected());
}

void CheckUnusable(const std::wstring& url) {
    Section(L"transfer: unknown operation, unknown scheme");
    {
        Run run(url, L"post");
        CHECK(run.responded());
        CHECK_DETAIL(run.states() == std::vector<TransferState>{TransferState::Error},
                     Describe(run.states()));
        CHECK(run.transfer->failed());
    }
    {
        Run run(L"ftp://127.0.0.1/ombrix");
        CHECK(run.responded());
        CHECK_DETAIL(run.states() == std::vector<TransferState>{TransferState::Error},
                     Describe(run.states()));
        CHECK(run.transfer->getChunk(1024).empty());
    }
}

void CheckDrip(const std::wstring& url, const Bytes& expected) {
    Section(L"transfer: slow body");
    Run run(url);
    ASSERT(run.responded());
    const Body body = ReadBody(*run.transfer);
    CHECK(body.bytes == expected);
    CHECK(run.transfer->bodyEnded());
    // Chunks come as the data comes, not when a large read has filled up; the reader pumped
    // window events while it waited.
    CHECK_DETAIL(body.firstChunkMs * 4 < body.totalMs,
                 std::to_wstring(body.firstChunkMs) + L" ms to the first chunk, " +
                     std::to_wstring(body.totalMs) + L" ms in all");
    CHECK(run.pumps > 0);
}

// Cancels from inside the pump (as the window's close button would) while getChunk waits;
// `name` tells the server mode in the output. `sentFirst`, when not zero, is what the server
// sends before it pauses: all of it must come through soon, without window events to wake the
// reader (the first timer message comes only after a second then).
void CheckCancelWhileWaiting(const std::wstring& url, const std::wstring& name,
                             std::size_t sentFirst) {
    Section(L"transfer: cancel while waiting for data (" + name + L")");
    Run run(url);
    ASSERT(run.responded());
    // A timer's messages stand for the user's: a waiting getChunk wakes for them and pumps.
    const UINT_PTR timer = SetTimer(nullptr, 0, sentFirst > 0 ? 1000 : 50, nullptr);
    const DWORD start = GetTickCount();
    DWORD cancelledAt = 0;
    run.onPump = [&] {
        if (cancelledAt == 0 && GetTickCount() - start > 300) {
            cancelledAt = GetTickCount();
            run.transfer->cancel();
        }
    };
    // Read on; a pump in a getChunk that waits cancels after a while.
    std::size_t got = 0;
    DWORD allFirstAt = 0;
    for (;;) {
        const Bytes chunk = run.transfer->getChunk(1024);
        if (chunk.empty()) {
            break;
        }
        got += chunk.size();
        if (got == sentFirst) {
            allFirstAt = GetTickCount();
        }
    }
    const DWORD returnedAt = GetTickCount();
    KillTimer(nullptr, timer);
    CHECK(got > 0);
    if (sentFirst > 0) {
        CHECK_DETAIL(got == sentFirst, std::to_wstring(got) + L" bytes");
        CHECK_DETAIL(allFirstAt != 0 && allFirstAt - start < 500,
                     std::to_wstring(allFirstAt - start) + L" ms");
    }
    if (CHECK(cancelledAt != 0)) {
        CHECK_DETAIL(returnedAt - cancelledAt < 500,
                     std::to_wstring(returnedAt - cancelledAt) + L" ms");
    }
    CHECK(run.transfer->getChunk(1024).empty());
    CHECK(!run.transfer->bodyEnded());
    CHECK(!run.transfer->failed());
    const DWORD destroyStart = GetTickCount();
    run.transfer.reset();
    const DWORD destroyMs = GetTickCount() - destroyStart;
    CHECK_DETAIL(destroyMs < 3000, std::to_wstring(destroyMs) + L" ms");
    Note(L"component gone " + std::to_wstring(destroyMs) + L" ms after cancel");
    run.log.pumpFor(200);
    CHECK_DETAIL(!run.states().empty() && run.states().back() == TransferState::ResponseCompleted,
                 Describe(run.states()));
}

// `url` answers only after a delay, so that the cancel surely comes before the response.
void CheckCancelBeforeResponse(const std::wstring& url) {
    Section(L"transfer: cancel before the response");
    Run run(url);
    CHECK(run.executeMs < 1000);  // execute does not wait for the response
    run.transfer->cancel();
    CHECK(run.transfer->getChunk(1024).empty());
    run.log.pumpFor(500);
    CHECK_DETAIL(!Contains(run.states(), TransferState::Error) &&
                     !Contains(run.states(), TransferState::ResponseCompleted),
                 Describe(run.states()));
}

}  // namespace

void CheckTransfers(const Options& options) {
    const auto option = [&](const wchar_t* name) {
        const auto found = options.find(name);
        return found == options.end() ? std::wstring() : found->second;
    };
    const Bytes body = ReadFileBytes(option(L"body"));
    const Bytes dripBody = ReadFileBytes(option(L"drip-body"));
    if (!option(L"normal").empty() && CHECK(!body.empty())) {
        CheckNormal(option(L"normal"), body);
        CheckUnusable(option(L"normal"));
    }
    if (!option(L"delayed").empty()) {
        CheckCancelBeforeResponse(option(L"delayed"));
    }
    if (!option(L"reset").empty()) {
        CheckReset(option(L"reset"), body);
    }
    if (!option(L"long").empty()) {
        CheckLonger(option(L"long"), body);
    }
    if (!option(L"status").empty()) {
        CheckErrorStatus(option(L"status"));
    }
    if (!option(L"refused").empty()) {
        CheckRefused(option(L"refused"));
    }
    if (!option(L"drip").empty() && CHECK(!dripBody.empty())) {
        CheckDrip(option(L"drip"), dripBody);
        CheckCancelWhileWaiting(option(L"drip"), L"slow body", 0);
    }
    if (!option(L"stall").empty()) {
        CheckCancelWhileWaiting(option(L"stall"), L"stalled body", body.size() / 2);
    }
    if (!option(L"https").empty() && CHECK(!dripBody.empty())) {
        CheckHttps({option(L"https"), option(L"https-untrusted"), option(L"https-redirect"),
                    option(L"tls-cert")},
                   dripBody);
    }
}

}  // namespace ombrix::test
