#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "fakes/zstd_frames.h"
#include "platform/delta_patch.h"

namespace ombrix {
namespace {

using Bytes = std::vector<std::uint8_t>;
using fakes::Frame;
using fakes::FrameOptions;
constexpr std::uint64_t kWindow = 8u << 20;

Bytes Random(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

// The installed product, and the new one: the same bytes with a few changed, some moved, and new
// ones that do not compress, so that the delta spans several of the reader's pieces.
struct Release {
    Bytes old = Random(600 * 1024, 1);
    Bytes next;
    Release() {
        next = old;
        next[1000] ^= 0xff;
        std::rotate(next.begin() + 4096, next.begin() + 70000, next.begin() + 200000);
        const Bytes fresh = Random(300 * 1024, 2);
        next.insert(next.begin() + 300000, fresh.begin(), fresh.end());
    }
};

// Reads from `bytes`, as the download file would, recording what was asked.
struct Reader {
    Bytes bytes;
    std::size_t largest = 0;
    std::uint64_t cutAt = UINT64_MAX;  // reads past this offset come back short
    DeltaReader reader() {
        return [this](std::uint64_t offset, std::size_t size) {
            largest = std::max(largest, size);
            const std::uint64_t end =
                std::min<std::uint64_t>({offset + size, bytes.size(), std::max(offset, cutAt)});
            if (offset >= end) {
                return Bytes();
            }
            return Bytes(bytes.begin() + offset, bytes.begin() + end);
        };
    }
};

DeltaOutcome Apply(const Bytes& reference, const Bytes& delta, std::uint64_t expectedSize,
                   Bytes& out, std::uint64_t maxWindow = kWindow) {
    Reader reader{delta};
    return ApplyDelta(reference, reader.reader(), delta.size(), expectedSize, maxWindow, out);
}

TEST(DeltaPatch, AppliesAFrameOfTheReleaseInPiecesStraightIntoTheOutput) {
    const Release release;
    Reader delta{Frame(release.old, release.next)};
    ASSERT_GT(delta.bytes.size(), 2 * kDeltaPieceBytes);     // several pieces
    ASSERT_LT(delta.bytes.size(), release.next.size() / 2);  // the reference was used
    Bytes out;
    EXPECT_EQ(ApplyDelta(release.old, delta.reader(), delta.bytes.size(), release.next.size(),
                         kWindow, out),
              DeltaOutcome::Applied);
    EXPECT_TRUE(out == release.next);
    EXPECT_EQ(delta.largest, kDeltaPieceBytes);
}

TEST(DeltaPatch, RefusesABrokenFrameAndLeavesNothing) {
    const Release release;
    const Bytes good = Frame(release.old, release.next);
    Bytes block = good;
    block[block.size() / 2] ^= 0x55;
    Bytes checksum = good;
    checksum.back() ^= 0x01;
    Bytes dictionary = good;
    dictionary[4] |= 0x03;  // a frame that needs a dictionary of four bytes' id
    for (const Bytes& broken : {block, checksum, dictionary, Bytes(good.begin(), good.end() - 5),
                                Bytes(good.begin(), good.begin() + 3), Bytes()}) {
        Bytes out = {1, 2, 3};
        EXPECT_EQ(Apply(release.old, broken, release.next.size(), out), DeltaOutcome::Corrupt);
        EXPECT_TRUE(out.empty());
    }
    // Against other installed bytes the frame decodes to something else: the checksum says so.
    Bytes other = release.old;
    other[5000] ^= 0x20;
    Bytes out;
    EXPECT_EQ(Apply(other, good, release.next.size(), out), DeltaOutcome::Corrupt);
}

TEST(DeltaPatch, RefusesAContentSizeOtherThanTheStatementsOrNone) {
    const Release release;
    const Bytes frame = Frame(release.old, release.next);
    Bytes out;
    EXPECT_EQ(Apply(release.old, frame, release.next.size() + 1, out), DeltaOutcome::OtherSize);
    EXPECT_EQ(Apply(release.old, frame, release.next.size() - 1, out), DeltaOutcome::OtherSize);
    const Bytes sizeless = Frame(release.old, release.next, {.contentSize = false});
    EXPECT_EQ(Apply(release.old, sizeless, release.next.size(), out), DeltaOutcome::OtherSize);
    EXPECT_TRUE(out.empty());
}

TEST(DeltaPatch, TheWindowBoundIsTheHeadersWindow) {
    const Bytes old = Random(64 * 1024, 3);
    Bytes next = old;
    next[10] ^= 1;
    Bytes out;
    // As the command line makes it: the window covers the file, so the header gives none and the
    // window is the content size.
    const Bytes whole = Frame(old, next);
    EXPECT_EQ(Apply(old, whole, next.size(), out, next.size() - 1), DeltaOutcome::WindowTooLarge);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(Apply(old, whole, next.size(), out, next.size()), DeltaOutcome::Applied);
    EXPECT_TRUE(out == next);
    // A window smaller than the file is written in the header, and bounded by what it says.
    const Bytes windowed = Frame(old, next, {.windowLog = 15});
    EXPECT_EQ(Apply(old, windowed, next.size(), out, (1u << 15) - 1), DeltaOutcome::WindowTooLarge);
    EXPECT_EQ(Apply(old, windowed, next.size(), out, 1u << 15), DeltaOutcome::Applied);
    EXPECT_TRUE(out == next);
}

TEST(DeltaPatch, RefusesAnythingButExactlyOneFrame) {
    const Release release;
    const Bytes frame = Frame(release.old, release.next);
    // A skippable frame of four bytes, which zstd itself would pass over.
    const Bytes skippable = {0x50, 0x2a, 0x4d, 0x18, 4, 0, 0, 0, 'n', 'o', 't', 'e'};
    Bytes twice = frame;
    twice.insert(twice.end(), frame.begin(), frame.end());
    Bytes trailing = frame;
    trailing.push_back(0);
    Bytes skippedAfter = frame;
    skippedAfter.insert(skippedAfter.end(), skippable.begin(), skippable.end());
    Bytes skippedFirst = skippable;
    skippedFirst.insert(skippedFirst.end(), frame.begin(), frame.end());
    for (const Bytes& delta : {twice, trailing, skippedAfter, skippedFirst}) {
        Bytes out;
        EXPECT_EQ(Apply(release.old, delta, release.next.size(), out), DeltaOutcome::Corrupt);
        EXPECT_TRUE(out.empty());
    }
}

TEST(DeltaPatch, AShortReadIsARefusal) {
    const Release release;
    Reader delta{Frame(release.old, release.next)};
    for (const std::uint64_t cut : {std::uint64_t{0}, std::uint64_t{10}, kDeltaPieceBytes + 7}) {
        delta.cutAt = cut;
        Bytes out;
        EXPECT_EQ(ApplyDelta(release.old, delta.reader(), delta.bytes.size(), release.next.size(),
                             kWindow, out),
                  DeltaOutcome::Corrupt);
        EXPECT_TRUE(out.empty());
    }
}

}  // namespace
}  // namespace ombrix
