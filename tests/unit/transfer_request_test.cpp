#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/transfer_request.h"

namespace ombrix {
namespace {

using namespace transfer_limits;
using S = TransferState;
using Next = TransferRequest::Next;

// One request, driven as the worker, the watch and the reader would, with the clock in hand.
struct Rig {
    explicit Rig(bool quiet = false)
        : request([this](TransferState state) { posted.push_back(state); }, quiet) {
        request.begin(now);
    }
    TransferWakes respond(const std::wstring& length) {
        const std::wstring headers =
            L"HTTP/1.1 200 OK\r\n" +
            (length.empty() ? L"" : L"Content-Length: " + length + L"\r\n");
        return request.respond(200, headers, now);
    }
    // Fills `bytes` of the ring as one read; the wake-ups it asked for.
    TransferWakes read(std::uint32_t bytes) {
        const TransferRequest::Room room = request.room(false, now);
        EXPECT_FALSE(room.wait);
        EXPECT_GE(room.span.size, bytes);
        std::memset(room.span.data, 7, bytes);
        return request.deliver(bytes, bytes == room.span.size, now);
    }
    std::size_t drain() {
        std::size_t total = 0;
        std::vector<std::uint8_t> chunk;
        TransferWakes wakes;
        while (request.take(1024, chunk, now, wakes) == Next::Done && !chunk.empty()) {
            total += chunk.size();
        }
        return total;
    }

    std::uint64_t now = 1000;
    std::vector<TransferState> posted;
    TransferRequest request;
};

TEST(TransferRequestTest, StatesArePostedOnceInOrderAndNothingAfterTheEnd) {
    Rig rig;
    for (S state : {S::Resolving, S::Resolving, S::Connecting, S::Connected, S::Connected}) {
        rig.request.report(state, rig.now);
    }
    rig.respond(L"");
    rig.request.report(S::Disconnecting, rig.now);  // WinINet closes after the response
    rig.request.endOfBody();
    EXPECT_EQ(rig.posted,
              (std::vector<S>{S::Resolving, S::Connecting, S::Connected, S::ResponseCompleted}));

    Rig failed;
    failed.request.report(S::Connecting, failed.now);
    failed.request.fail();
    failed.request.report(S::Disconnected, failed.now);
    EXPECT_EQ(failed.posted, (std::vector<S>{S::Connecting, S::Error}));
    EXPECT_TRUE(failed.request.failed());
    EXPECT_FALSE(failed.request.certificateRejected());

    Rig cancelled;
    EXPECT_TRUE(cancelled.request.cancel().giveUp);
    EXPECT_FALSE(cancelled.request.cancel().over);  // once
    cancelled.request.fail();
    cancelled.respond(L"");
    EXPECT_TRUE(cancelled.posted.empty());
    EXPECT_FALSE(cancelled.request.failed());
    EXPECT_FALSE(cancelled.request.open());

    Rig resumed(true);  // a resume reports nothing
    resumed.request.report(S::Connecting, resumed.now);
    resumed.respond(L"");
    EXPECT_TRUE(resumed.posted.empty());
}

TEST(TransferRequestTest, NoSignForAMinuteFailsUnlessTheRingIsFull) {
    Rig rig;
    rig.now += kStallMs - 1;
    EXPECT_FALSE(rig.request.failIfStalled(rig.now).over);
    rig.request.report(S::Connected, rig.now);  // a sign of life
    rig.now += kStallMs - 1;
    EXPECT_FALSE(rig.request.failIfStalled(rig.now).over);
    rig.request.report(S::Receiving, rig.now);  // not one
    rig.now += 1;
    const TransferWakes stalled = rig.request.failIfStalled(rig.now);
    EXPECT_TRUE(stalled.over && stalled.giveUp && stalled.worker);
    EXPECT_EQ(rig.posted.back(), S::Error);
    EXPECT_TRUE(rig.request.failed());
    // The worker's late answer does not change the outcome.
    rig.respond(L"");
    rig.request.endOfBody();
    EXPECT_TRUE(rig.request.failed());
    EXPECT_FALSE(rig.request.bodyEnded());

    // A full ring holds the clock while the reader takes its time; taking restarts it.
    Rig full;
    full.respond(L"");
    while (!full.request.room(false, full.now).wait) {
        full.read(kMaxRead);
    }
    full.now += 10 * kStallMs;
    EXPECT_FALSE(full.request.failIfStalled(full.now).over);
    std::vector<std::uint8_t> chunk;
    TransferWakes wakes;
    for (std::uint32_t taken = 0; taken < kWakeRoom; taken += kMaxRead) {
        EXPECT_FALSE(wakes.worker);
        full.request.take(kMaxRead, chunk, full.now, wakes);
    }
    EXPECT_TRUE(wakes.worker);
    // The drip count starts again too: the wait was the reader's, not the server's.
    EXPECT_FALSE(full.request.failIfStalled(full.now + kStallMs - 1).over);
    full.now += kStallMs;
    EXPECT_TRUE(full.request.failIfStalled(full.now).over);
    // After the response no Error is posted: the reader learns of it from failed().
    EXPECT_EQ(full.posted.back(), S::ResponseCompleted);
    EXPECT_EQ(full.drain(), kRingBytes - kWakeRoom);
    EXPECT_TRUE(full.request.failed());
}

TEST(TransferRequestTest, ABodyThatBringsLessThan4KiBInAnyTwoMinutesIsStalled) {
    // A piece every 30 s, never silent for a minute: stalled two minutes after the response.
    Rig slow;
    const std::uint64_t responded = slow.now;
    slow.respond(L"100000");
    for (int piece = 1; piece <= 3; ++piece) {
        slow.now += 30000;
        slow.read(kDripBytes / 4);
        EXPECT_FALSE(slow.request.failIfStalled(slow.now).over);
    }
    EXPECT_FALSE(slow.request.failIfStalled(responded + kDripWindowMs - 1).over);
    const TransferWakes stalled = slow.request.failIfStalled(responded + kDripWindowMs);
    EXPECT_TRUE(stalled.over && stalled.giveUp);
    EXPECT_EQ(slow.drain(), 3 * kDripBytes / 4);
    EXPECT_TRUE(slow.request.failed());

    // Any two minutes: 4 KiB early on buys no time later. By 170 s the window holds only what
    // came at 100 s and 150 s.
    Rig early;
    early.respond(L"100000");
    const std::uint64_t start = early.now;
    for (const std::uint32_t bytes : {kDripBytes / 2, kDripBytes / 2, 1u}) {
        early.now += 50000;
        early.read(bytes);
    }
    EXPECT_FALSE(early.request.failIfStalled(start + 50000 + kDripWindowMs - 1).over);
    EXPECT_TRUE(early.request.failIfStalled(start + 50000 + kDripWindowMs).over);
}

TEST(TransferRequestTest, ABodyIsCompleteWhenItReachesItsAnnouncedLength) {
    const auto body = [](const std::wstring& length, std::uint32_t bytes) {
        Rig rig;
        rig.respond(length);
        rig.read(bytes);
        rig.request.endOfBody();
        EXPECT_FALSE(rig.request.bodyEnded() || rig.request.failed());  // still to be read
        EXPECT_EQ(rig.drain(), bytes);
        EXPECT_NE(rig.request.bodyEnded(), rig.request.failed());
        return rig.request.bodyEnded();
    };
    EXPECT_TRUE(body(L"100", 100));
    EXPECT_FALSE(body(L"100", 50));  // however cleanly it closed
    EXPECT_TRUE(body(L"", 50));
    EXPECT_TRUE(body(L"5, 6", 50));  // an unusable length says nothing of the end
}

TEST(TransferRequestTest, ReaderAndWorkerWakeEachOtherOncePerLargeStep) {
    Rig rig;
    bool wait = false;
    EXPECT_FALSE(rig.request.responded(wait));
    EXPECT_TRUE(wait);
    EXPECT_TRUE(rig.respond(L"").reader);
    EXPECT_TRUE(rig.request.responded(wait));
    EXPECT_FALSE(wait);

    std::vector<std::uint8_t> chunk;
    TransferWakes wakes;
    EXPECT_EQ(rig.request.take(1024, chunk, rig.now, wakes), Next::Wait);
    // Full reads of a fast stream wake the reader once kWakeData is in.
    rig.request.room(false, rig.now);
    EXPECT_FALSE(rig.request.deliver(1024, true, rig.now).reader);
    rig.request.room(false, rig.now);
    EXPECT_TRUE(rig.request.deliver(kWakeData - 1024, true, rig.now).reader);
    EXPECT_EQ(rig.drain(), kWakeData);
    EXPECT_EQ(rig.request.take(1024, chunk, rig.now, wakes), Next::Wait);
    EXPECT_TRUE(rig.read(10).reader);  // a short read: the stream is slow
    EXPECT_EQ(rig.request.take(1024, chunk, rig.now, wakes), Next::Done);
    EXPECT_EQ(chunk.size(), 10u);
    EXPECT_FALSE(wakes.worker);

    rig.request.cancel();
    EXPECT_EQ(rig.request.take(1024, chunk, rig.now, wakes), Next::Done);
    EXPECT_TRUE(chunk.empty());
    EXPECT_FALSE(rig.request.responded(wait) || wait);
    EXPECT_FALSE(rig.request.bodyEnded() || rig.request.failed());
}

TEST(TransferRequestTest, AFailureBeforeTheResponseLeavesNothingToRead) {
    Rig rig;
    rig.request.fail(true);
    EXPECT_TRUE(rig.request.certificateRejected());
    EXPECT_EQ(rig.posted, std::vector<S>{S::Error});
    bool wait = true;
    EXPECT_FALSE(rig.request.responded(wait) || wait);
    std::vector<std::uint8_t> chunk{1};
    TransferWakes wakes;
    EXPECT_EQ(rig.request.take(1024, chunk, rig.now, wakes), Next::Done);
    EXPECT_TRUE(chunk.empty());
    EXPECT_EQ(rig.request.status(), 0);
    EXPECT_TRUE(rig.request.rawHeaders().empty());
}

TEST(RedirectChainTest, NeverFromHttpsToHttpAndAtMostTenFollowed) {
    RedirectChain chain;
    EXPECT_TRUE(chain.allows(false));
    EXPECT_TRUE(chain.allows(true));
    EXPECT_FALSE(chain.allows(false));
    int followed = 0;
    while (chain.follow()) {
        ++followed;
    }
    EXPECT_EQ(followed, kMaxRedirects);
}

}  // namespace
}  // namespace ombrix
