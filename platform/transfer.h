#pragma once
// The HTTP transfer component: asynchronous GETs whose bodies are read in chunks, one request at a
// time, and further GETs for the rest of a body that broke off.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ombrix {

// Transfer states, numbered as the component reports them (the status texts follow the numbers).
enum class TransferState : int {
    Resolving = 1,
    Resolved = 2,
    Connecting = 3,
    Connected = 4,
    Requesting = 5,
    RequestSent = 6,
    Receiving = 7,
    ResponseReceived = 8,
    Disconnecting = 9,
    Disconnected = 10,
    Error = 11,
    ResponseCompleted = 12,
};

// Where a component reports its states: on the user-interface thread, in the order they
// happened, while that thread handles its events (also within a pump of the logic's own, and
// under an open message box).
class TransferEvents {
  public:
    virtual ~TransferEvents() = default;
    virtual void onTransferState(TransferState state) = 0;
};

class Transfer {
  public:
    virtual ~Transfer() = default;
    // Starts a request, with extra request headers (lines each ending in CRLF, or none), and
    // returns at once; the states go to the component's TransferEvents. ResponseCompleted means
    // the headers are in and the body can be read; no state of that request follows it. A
    // request that gets no byte for 60 s fails (Error). Called again (once the previous
    // request's body has been read, say), it stops the previous request and starts another,
    // which reports its own states from the first.
    virtual void execute(const std::wstring& url, const std::wstring& operation,
                         const std::wstring& requestHeaders) = 0;
    // Starts another GET of `url`, with extra request headers (lines each ending in CRLF),
    // once the previous request has ended or broke off. It reports no states: awaitResponse
    // waits for it, and from then on header, httpStatus, getChunk, bodyEnded and failed tell
    // of it.
    virtual void resume(const std::wstring& url, const std::wstring& requestHeaders) = 0;
    // Waits, handling window events, until the latest request's response is in (true), or it
    // failed or was cancelled (false).
    virtual bool awaitResponse() = 0;
    // A response header's value (a repeated header's values joined by ", "), or "" when the
    // response has none.
    virtual std::wstring header(const std::wstring& name) = 0;
    // The HTTP status of the response (after ResponseCompleted).
    virtual int httpStatus() = 0;
    // The next at most `maxBytes` bytes of the body, as soon as any have arrived. Waits for
    // data while pumping window events; empty only when the body has ended, broke off (also
    // after 60 s without a byte), or the transfer was cancelled.
    virtual std::vector<std::uint8_t> getChunk(std::size_t maxBytes) = 0;
    // The same, into `chunk` (replacing what it held), whose storage a loop reuses: a large
    // body is tens of thousands of chunks.
    virtual void getChunkInto(std::size_t maxBytes, std::vector<std::uint8_t>& chunk) {
        chunk = getChunk(maxBytes);
    }
    // The whole body has been delivered and the server ended it cleanly.
    virtual bool bodyEnded() = 0;
    // The body broke off (connection lost, reset, timed out).
    virtual bool failed() = 0;
    // Stops the transfer; pending and later reads return empty.
    virtual void cancel() = 0;
    // The request failed (Error) because the server's certificate was not accepted
    // (untrusted, for another host, expired) or an https request was redirected to http.
    virtual bool certificateRejected() { return false; }
};

}  // namespace ombrix
