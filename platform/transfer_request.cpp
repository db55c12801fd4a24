#include "platform/transfer_request.h"

#include <utility>

#include "platform/http_response.h"

namespace ombrix {

using namespace transfer_limits;

TransferRequest::TransferRequest(std::function<void(TransferState)> post, bool quiet)
    : post_(std::move(post)), quiet_(quiet) {}

void TransferRequest::post(TransferState state) {
    if (quiet_ || cancelled_ || silenced_ || (hasPosted_ && state == lastPosted_)) {
        return;
    }
    hasPosted_ = true;
    lastPosted_ = state;
    silenced_ = state == TransferState::Error || state == TransferState::ResponseCompleted;
    post_(state);
}

void TransferRequest::begin(std::uint64_t now) {
    phase_ = Phase::Requesting;
    lastSignAt_ = now;
}

void TransferRequest::report(TransferState state, std::uint64_t now) {
    if (state == TransferState::Connected || state == TransferState::RequestSent ||
        state == TransferState::ResponseReceived) {
        lastSignAt_ = now;
    }
    post(state);
}

bool TransferRequest::open() const {
    return !cancelled_ && !final();
}

TransferWakes TransferRequest::finish(Phase phase) {
    if (final()) {
        return {};  // a stall the watch reported stays the outcome, whatever comes late
    }
    phase_ = phase;
    if (phase == Phase::Failed) {
        post(TransferState::Error);  // dropped once the response was reported
    }
    return {.reader = std::exchange(readerWaiting_, false), .over = true};
}

TransferWakes TransferRequest::respond(int status, std::wstring rawHeaders, std::uint64_t now) {
    if (final()) {
        return {};
    }
    announced_ =
        ReadContentLength(FindResponseHeader(rawHeaders, L"Content-Length")).length.value_or(-1);
    status_ = status;
    rawHeaders_ = std::move(rawHeaders);
    responded_ = true;
    phase_ = Phase::Streaming;
    lastSignAt_ = now;
    restartDrip(now);
    post(TransferState::ResponseCompleted);
    return {.reader = std::exchange(readerWaiting_, false)};
}

TransferRequest::Room TransferRequest::room(bool waited, std::uint64_t now) {
    if (!open()) {
        return {};
    }
    if (ring_.room() < kMinRoom) {
        workerWaiting_ = true;
        return {{}, true};
    }
    if (waited) {
        lastSignAt_ = now;  // the stall clock starts again, and so does the drip's
        restartDrip(now);
    }
    return {ring_.freeSpan(kMaxRead), false};
}

TransferWakes TransferRequest::deliver(std::uint32_t bytes, bool fullRead, std::uint64_t now) {
    delivered_ += bytes;
    if (!open()) {
        return {};
    }
    ring_.commit(bytes);
    lastSignAt_ = now;
    recentReads_.emplace_back(now, bytes);
    recentBytes_ += bytes;
    while (recentBytes_ - recentReads_.front().second >= kDripBytes) {
        recentBytes_ -= recentReads_.front().second;
        recentReads_.pop_front();
    }
    // A waiting reader is woken once kWakeData is buffered, or at once when the read came back
    // short of what was asked (the stream is slower than the reads).
    if (readerWaiting_ && (!fullRead || ring_.buffered() >= kWakeData)) {
        readerWaiting_ = false;
        return {.reader = true};
    }
    return {};
}

TransferWakes TransferRequest::endOfBody() {
    return finish(announced_ >= 0 && delivered_ < announced_ ? Phase::Failed : Phase::Ended);
}

TransferWakes TransferRequest::fail(bool certificate) {
    if (!final()) {
        certificateRejected_ = certificate;
    }
    return finish(Phase::Failed);
}

void TransferRequest::restartDrip(std::uint64_t now) {
    dripFrom_ = now;
    recentReads_.clear();
    recentBytes_ = 0;
}

bool TransferRequest::dripping(std::uint64_t now) const {
    // Since when the last kDripBytes came; while fewer have come, since the count began.
    const std::uint64_t since = recentBytes_ >= kDripBytes ? recentReads_.front().first : dripFrom_;
    return phase_ == Phase::Streaming && now >= since && now - since >= kDripWindowMs;
}

TransferWakes TransferRequest::failIfStalled(std::uint64_t now) {
    if (cancelled_ || final() || phase_ == Phase::Idle || workerWaiting_ ||
        (now - lastSignAt_ < kStallMs && !dripping(now))) {
        return {};
    }
    phase_ = Phase::Failed;
    post(TransferState::Error);
    return {.reader = std::exchange(readerWaiting_, false),
            .worker = true,
            .over = true,
            .giveUp = true};
}

bool TransferRequest::responded(bool& wait) {
    wait = false;
    if (cancelled_) {
        return false;
    }
    if (responded_) {
        return true;
    }
    if (final() || phase_ == Phase::Idle) {
        return false;
    }
    readerWaiting_ = true;
    wait = true;
    return false;
}

TransferRequest::Next TransferRequest::take(std::size_t maxBytes, std::vector<std::uint8_t>& chunk,
                                            std::uint64_t now, TransferWakes& wakes) {
    chunk.clear();
    if (cancelled_) {
        return Next::Done;
    }
    if (ring_.buffered() > 0) {
        ring_.take(maxBytes, chunk);
        if (workerWaiting_ && ring_.room() >= kWakeRoom) {
            workerWaiting_ = false;
            lastSignAt_ = now;
            restartDrip(now);
            wakes.worker = true;
        }
        return Next::Done;
    }
    if (phase_ != Phase::Requesting && phase_ != Phase::Streaming) {
        return Next::Done;
    }
    readerWaiting_ = true;
    return Next::Wait;
}

TransferWakes TransferRequest::cancel() {
    if (cancelled_) {
        return {};
    }
    cancelled_ = true;
    return {.reader = true, .worker = true, .over = true, .giveUp = true};
}

bool TransferRequest::bodyEnded() const {
    return !cancelled_ && phase_ == Phase::Ended && ring_.buffered() == 0;
}

bool TransferRequest::failed() const {
    return !cancelled_ && phase_ == Phase::Failed && ring_.buffered() == 0;
}

bool RedirectChain::allows(bool secure) {
    if (secure_ && !secure) {
        return false;
    }
    secure_ = secure;
    return true;
}

bool RedirectChain::follow() {
    if (followed_ == kMaxRedirects) {
        return false;
    }
    ++followed_;
    return true;
}

}  // namespace ombrix
