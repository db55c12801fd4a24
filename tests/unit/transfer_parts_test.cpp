#include <gtest/gtest.h>

#include <numeric>

#include "platform/byte_ring.h"
#include "platform/http_response.h"

namespace ombrix {
namespace {

std::vector<std::uint8_t> Fill(ByteRing& ring, std::uint32_t count, std::uint8_t& next) {
    std::vector<std::uint8_t> put;
    while (count > 0) {
        const ByteRing::Span span = ring.freeSpan(count);
        if (span.size == 0) {
            break;
        }
        for (std::uint32_t i = 0; i < span.size; ++i) {
            span.data[i] = next;
            put.push_back(next++);
        }
        ring.commit(span.size);
        count -= span.size;
    }
    return put;
}

TEST(ByteRingTest, BytesComeOutInOrderAcrossTheWrapAndTheCounterOverflow) {
    ByteRing ring(16);
    std::uint8_t next = 0;
    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> got;
    std::vector<std::uint8_t> taken;  // reused, as the chunk loop does: each take replaces it
    // Uneven puts and takes, far beyond the capacity, so the data wraps many times.
    for (int round = 0; round < 200; ++round) {
        const auto put = Fill(ring, static_cast<std::uint32_t>(1 + round % 13), next);
        sent.insert(sent.end(), put.begin(), put.end());
        EXPECT_LE(ring.buffered(), 16u);
        EXPECT_EQ(ring.buffered() + ring.room(), 16u);
        ring.take(static_cast<std::size_t>(1 + round % 7), taken);
        got.insert(got.end(), taken.begin(), taken.end());
    }
    const auto rest = ring.take(100);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(got, sent);
    EXPECT_EQ(ring.buffered(), 0u);
}

TEST(ByteRingTest, FreeSpanStopsAtTheEndOfTheBufferAndWhenFull) {
    ByteRing ring(16);
    std::uint8_t next = 0;
    Fill(ring, 12, next);
    ring.take(10);
    // 14 free, but only 4 of them before the end of the buffer.
    EXPECT_EQ(ring.freeSpan(64).size, 4u);
    EXPECT_EQ(ring.freeSpan(3).size, 3u);
    Fill(ring, 14, next);
    EXPECT_EQ(ring.room(), 0u);
    EXPECT_EQ(ring.freeSpan(64).size, 0u);
    ring.commit(5);  // more than there is room for changes nothing
    EXPECT_EQ(ring.buffered(), 16u);
}

TEST(HttpResponseTest, HeadersLengthsRangesAndRedirects) {
    const std::wstring raw =
        L"HTTP/1.1 302 Found\r\nContent-Length:  1500 \r\nlocation: /other\r\n"
        L"ETag: \"a\"\r\nX-Empty:\r\n\r\n";
    EXPECT_EQ(FindResponseHeader(raw, L"content-length"), L"1500");
    EXPECT_EQ(FindResponseHeader(raw, L"ETAG"), L"\"a\"");
    EXPECT_EQ(FindResponseHeader(raw, L"X-Empty"), L"");
    EXPECT_EQ(FindResponseHeader(raw, L"HTTP/1.1 302 Found"), L"");
    EXPECT_EQ(RedirectLocation(302, raw), L"/other");
    EXPECT_EQ(RedirectLocation(200, raw), std::nullopt);
    EXPECT_EQ(RedirectLocation(307, L"HTTP/1.1 307 x\r\n\r\n"), std::nullopt);

    EXPECT_EQ(ParseContentLength(L"1500"), 1500);
    EXPECT_EQ(ParseContentLength(L"0"), 0);
    EXPECT_EQ(ParseContentLength(L""), std::nullopt);
    EXPECT_EQ(ParseContentLength(L"+5"), std::nullopt);
    EXPECT_EQ(ParseContentLength(L"99999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseContentLength(L"3221225472"), 3221225472LL);

    const auto range = ParseContentRange(L"bytes 100-1499/1500");
    ASSERT_TRUE(range);
    EXPECT_EQ((std::vector<std::int64_t>{range->first, range->last, range->total}),
              (std::vector<std::int64_t>{100, 1499, 1500}));
    EXPECT_EQ(ParseContentRange(L"bytes 0-9/*")->total, -1);
    for (const wchar_t* bad : {L"", L"bytes */1500", L"bytes 10-5/20", L"bytes 0-20/20",
                               L"items 0-1/2", L"bytes 1-2", L"bytes -1-2/5"}) {
        EXPECT_EQ(ParseContentRange(bad), std::nullopt) << bad;
    }
}

}  // namespace
}  // namespace ombrix
