#pragma once
// The rules of one request of the transfer component, apart from the network: its phases, the
// ring its body streams through and the ring's flow control, which states are reported, the
// stall and drip rules and the body's completeness; and the rules of a redirect chain. Plain C++:
// the owner guards every call with its own lock, passes the clock's readings in (milliseconds), and
// does the wake-ups a call asks for once it has released the lock. States are posted under the
// lock, so that they keep the order they happened in.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/byte_ring.h"
#include "platform/transfer.h"

namespace ombrix {

namespace transfer_limits {
// The body streams through this ring; it is never held whole. Reads take up to kMaxRead of
// what has come: under Wine every read costs the same few socket calls whatever its size, so
// a fast stream read in 512 KiB pieces goes faster than a plain reader's 64 KiB reads (64 KiB
// pieces reached about two thirds of it; 1 MiB pieces gained little more and cost 2 MiB).
inline constexpr std::uint32_t kRingBytes = 2048 * 1024;
inline constexpr std::uint32_t kMaxRead = 512 * 1024;
// The worker waits while less than this is free...
inline constexpr std::uint32_t kMinRoom = 128 * 1024;
// ...and the reader wakes it only when this much is free: one wake per read, not one per chunk
// taken (every event call is a round trip to the Wine server).
inline constexpr std::uint32_t kWakeRoom = 512 * 1024;
// Likewise a waiting reader is woken when this much has come (or the stream is slow), not after
// every read.
inline constexpr std::uint32_t kWakeData = 512 * 1024;
// No sign of the request for this long, while there is room for a byte, fails it.
inline constexpr std::uint64_t kStallMs = 60 * 1000;
// A body that brings less than kDripBytes in any kDripWindowMs (while there is room for them)
// is stalled too, however steadily it trickles: a byte a minute would hold the run for ever.
inline constexpr std::uint32_t kDripBytes = 4 * 1024;
inline constexpr std::uint64_t kDripWindowMs = 120 * 1000;
// Redirects are followed one by one, so that every target is checked before anything is sent
// to it; a longer chain ends with the last redirect as the response.
inline constexpr int kMaxRedirects = 10;
}  // namespace transfer_limits

// Which waits the owner ends after a call, outside its lock.
struct TransferWakes {
    bool reader = false;  // the reader waiting for data or the response
    bool worker = false;  // the worker waiting for room in the ring
    bool over = false;    // the request is over: whatever waits on it ends
    bool giveUp = false;  // and its network handle is closed, to end a call in progress
};

class TransferRequest {
  public:
    enum class Phase { Idle, Requesting, Streaming, Ended, Failed };
    // What a reader does after a take: return the chunk (empty once the body is over), or wait
    // for data to come.
    enum class Next { Done, Wait };

    // `post` reports a state; a `quiet` request (a resume) reports none.
    TransferRequest(std::function<void(TransferState)> post, bool quiet);

    // ---- The worker and the network's callback.
    void begin(std::uint64_t now);
    // A step the network reported. Connecting, sending and the response's arrival are signs
    // of life for the stall rule; a repeat of the last state is dropped, and so is anything
    // after a final state (Error, ResponseCompleted) or after cancel.
    void report(TransferState state, std::uint64_t now);
    // Neither over nor cancelled: a network handle made now may be kept for cancel and stall.
    bool open() const;
    // The response is in: kept for the reader, who never touches the network handle, and
    // reported as ResponseCompleted. The announced length, if any, is what the body must reach.
    TransferWakes respond(int status, std::wstring rawHeaders, std::uint64_t now);
    // The free span the next read fills: empty once the request is over; `wait` while the ring
    // has too little room (the stall clock stands still meanwhile).
    struct Room {
        ByteRing::Span span;
        bool wait = false;
    };
    Room room(bool waited, std::uint64_t now);
    // `bytes` of the span were read; `fullRead` when the read filled it.
    TransferWakes deliver(std::uint32_t bytes, bool fullRead, std::uint64_t now);
    // The body ended. Short of its announced length it broke off, however cleanly the
    // connection closed: under Wine a reset that arrives before the data was read looks like a
    // plain close.
    TransferWakes endOfBody();
    // The request failed; `certificate` when the server's certificate was not accepted (or an
    // https request was sent to http). A request that ended already stays as it ended.
    TransferWakes fail(bool certificate = false);

    // ---- The watch and a waiting reader.
    TransferWakes failIfStalled(std::uint64_t now);

    // ---- The reader.
    // Whether the response is in (true) or the request is over without one (false); otherwise
    // `wait` (the reader is then woken by respond or the end).
    bool responded(bool& wait);
    // Takes up to `maxBytes` of the body into `chunk` (replacing it); a worker waiting for room
    // is woken through `wakes` once there is enough.
    Next take(std::size_t maxBytes, std::vector<std::uint8_t>& chunk, std::uint64_t now,
              TransferWakes& wakes);
    TransferWakes cancel();

    bool cancelled() const { return cancelled_; }
    bool bodyEnded() const;
    bool failed() const;
    bool certificateRejected() const { return certificateRejected_; }
    int status() const { return status_; }
    const std::wstring& rawHeaders() const { return rawHeaders_; }

  private:
    bool final() const { return phase_ == Phase::Ended || phase_ == Phase::Failed; }
    void post(TransferState state);
    TransferWakes finish(Phase phase);
    void restartDrip(std::uint64_t now);
    // Less than kDripBytes in the last kDripWindowMs of the body.
    bool dripping(std::uint64_t now) const;

    std::function<void(TransferState)> post_;
    bool quiet_;
    ByteRing ring_{transfer_limits::kRingBytes};
    Phase phase_ = Phase::Idle;
    bool cancelled_ = false;
    bool silenced_ = false;  // a final state was posted
    bool hasPosted_ = false;
    TransferState lastPosted_ = TransferState::Resolving;
    bool readerWaiting_ = false;
    bool workerWaiting_ = false;
    bool responded_ = false;
    int status_ = 0;
    std::wstring rawHeaders_;
    bool certificateRejected_ = false;
    std::int64_t announced_ = -1;  // none
    std::int64_t delivered_ = 0;
    std::uint64_t lastSignAt_ = 0;  // the last byte, or the last step of the request
    // The drip rule: the reads since dripFrom_ (the response, or the end of a wait for room),
    // as (time, bytes), no more of the oldest than the last kDripBytes need.
    std::uint64_t dripFrom_ = 0;
    std::deque<std::pair<std::uint64_t, std::uint32_t>> recentReads_;
    std::uint64_t recentBytes_ = 0;
};

// The rules of a chain of redirects: once on https, never back to http (an unchecked answer
// could lead anywhere), and at most kMaxRedirects followed.
class RedirectChain {
  public:
    // Before each request of the chain: false when it would leave https for http.
    bool allows(bool secure);
    // After a response that redirects: whether to follow it, or let it stand as the response.
    bool follow();

  private:
    bool secure_ = false;
    int followed_ = 0;
};

}  // namespace ombrix
