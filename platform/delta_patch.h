#pragma once
// A binary delta applied: one zstd frame made with `zstd --patch-from=REFERENCE NEW`, decoded
// against the reference (the installed product) into the new file's bytes. Strict: the frame
// must say how large its result is, and the caller's size and window bounds are checked against
// its header before a byte is decoded.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace ombrix {

enum class DeltaOutcome {
    Applied,
    // Not exactly one well-formed zstd frame (a skippable frame, bytes after it, a bad block,
    // a dictionary it needs, a failed checksum), or the reader gave fewer bytes than asked.
    Corrupt,
    // The frame's header declares no content size, or another one than expected.
    OtherSize,
    // The frame's header asks for a larger window than allowed.
    WindowTooLarge,
    OutOfMemory,
};

// The delta's bytes: up to `size` from `offset`; shorter only at its end, empty on failure.
using DeltaReader =
    std::function<std::vector<std::uint8_t>(std::uint64_t offset, std::size_t size)>;

// The largest piece asked of the reader at once: one zstd block.
inline constexpr std::size_t kDeltaPieceBytes = 128 * 1024;

// Decodes the one frame of `deltaSize` bytes against `reference` into `out`, which holds exactly
// `expectedSize` bytes when the outcome is Applied and nothing otherwise. The reference is read
// in place and the result decoded straight into `out`: the memory used beyond the two is the
// decoder's state and one piece of the delta, well under 1 MiB.
DeltaOutcome ApplyDelta(const std::vector<std::uint8_t>& reference, const DeltaReader& delta,
                        std::uint64_t deltaSize, std::uint64_t expectedSize,
                        std::uint64_t maxWindowBytes, std::vector<std::uint8_t>& out);

}  // namespace ombrix
