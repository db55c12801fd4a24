#include "platform/delta_patch.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#define ZSTD_STATIC_LINKING_ONLY  // the frame header, the stable output buffer
#include <zstd.h>
#include <zstd_errors.h>

namespace ombrix {
namespace {

struct FreeDecoder {
    void operator()(ZSTD_DCtx* decoder) const { ZSTD_freeDCtx(decoder); }
};
using Decoder = std::unique_ptr<ZSTD_DCtx, FreeDecoder>;

DeltaOutcome Refusal(size_t zstdResult) {
    switch (ZSTD_getErrorCode(zstdResult)) {
        case ZSTD_error_memory_allocation:
            return DeltaOutcome::OutOfMemory;
        case ZSTD_error_frameParameter_windowTooLarge:
            return DeltaOutcome::WindowTooLarge;
        default:
            return DeltaOutcome::Corrupt;
    }
}

// The smallest window log that covers `bytes`, within what this decoder can have: zstd's own
// check then refuses nothing that ours lets through.
int WindowLogFor(std::uint64_t bytes) {
    int log = ZSTD_WINDOWLOG_MIN;
    while (log < ZSTD_WINDOWLOG_MAX && (std::uint64_t{1} << log) < bytes) {
        ++log;
    }
    return log;
}

// Checks the header against the bounds, then decodes the frame piece by piece into `out`.
DeltaOutcome Decode(const std::vector<std::uint8_t>& reference, const DeltaReader& delta,
                    std::uint64_t deltaSize, std::uint64_t expectedSize,
                    std::uint64_t maxWindowBytes, std::vector<std::uint8_t>& out) {
    const std::size_t headerAsked =
        static_cast<std::size_t>(std::min<std::uint64_t>(ZSTD_FRAMEHEADERSIZE_MAX, deltaSize));
    const std::vector<std::uint8_t> head = delta(0, headerAsked);
    if (head.size() != headerAsked) {
        return DeltaOutcome::Corrupt;
    }
    ZSTD_frameHeader header{};
    // Nonzero and no error: the delta ends inside its own header.
    if (ZSTD_getFrameHeader(&header, head.data(), head.size()) != 0 ||
        header.frameType != ZSTD_frame || header.dictID != 0) {
        return DeltaOutcome::Corrupt;
    }
    if (header.frameContentSize != expectedSize) {  // also ZSTD_CONTENTSIZE_UNKNOWN
        return DeltaOutcome::OtherSize;
    }
    if (header.windowSize > maxWindowBytes) {
        return DeltaOutcome::WindowTooLarge;
    }
    if (expectedSize > std::numeric_limits<std::size_t>::max() || expectedSize > out.max_size()) {
        return DeltaOutcome::OutOfMemory;
    }

    Decoder decoder(ZSTD_createDCtx());
    if (!decoder) {
        return DeltaOutcome::OutOfMemory;
    }
    // The output buffer stays put from the first call to the last, so the decoder keeps no
    // window of its own: the reference and `out` are its whole history.
    for (const size_t result :
         {ZSTD_DCtx_setParameter(decoder.get(), ZSTD_d_windowLogMax, WindowLogFor(maxWindowBytes)),
          ZSTD_DCtx_setParameter(decoder.get(), ZSTD_d_stableOutBuffer, 1),
          ZSTD_DCtx_refPrefix(decoder.get(), reference.data(), reference.size())}) {
        if (ZSTD_isError(result)) {
            return Refusal(result);
        }
    }
    out.resize(static_cast<std::size_t>(expectedSize));

    ZSTD_outBuffer output{out.data(), out.size(), 0};
    std::uint64_t offset = 0;
    bool frameEnded = false;
    while (offset < deltaSize) {
        if (frameEnded) {
            return DeltaOutcome::Corrupt;  // bytes after the frame
        }
        const std::size_t asked =
            static_cast<std::size_t>(std::min<std::uint64_t>(kDeltaPieceBytes, deltaSize - offset));
        const std::vector<std::uint8_t> piece = delta(offset, asked);
        if (piece.size() != asked) {
            return DeltaOutcome::Corrupt;
        }
        offset += asked;
        ZSTD_inBuffer input{piece.data(), piece.size(), 0};
        while (input.pos < input.size) {
            const std::size_t taken = input.pos;
            const std::size_t written = output.pos;
            const size_t hint = ZSTD_decompressStream(decoder.get(), &output, &input);
            if (ZSTD_isError(hint)) {
                return Refusal(hint);
            }
            if (hint == 0) {
                frameEnded = true;
                if (input.pos != input.size) {
                    return DeltaOutcome::Corrupt;  // another frame, or anything else
                }
            } else if (input.pos == taken && output.pos == written) {
                return DeltaOutcome::Corrupt;  // stuck: it would write past `out`
            }
        }
    }
    // A frame cut short never reports its end; zstd has checked the size against the header.
    if (!frameEnded || output.pos != out.size()) {
        return DeltaOutcome::Corrupt;
    }
    return DeltaOutcome::Applied;
}

}  // namespace

DeltaOutcome ApplyDelta(const std::vector<std::uint8_t>& reference, const DeltaReader& delta,
                        std::uint64_t deltaSize, std::uint64_t expectedSize,
                        std::uint64_t maxWindowBytes, std::vector<std::uint8_t>& out) {
    DeltaOutcome outcome = DeltaOutcome::OutOfMemory;
    try {
        outcome = Decode(reference, delta, deltaSize, expectedSize, maxWindowBytes, out);
    } catch (const std::bad_alloc&) {
        outcome = DeltaOutcome::OutOfMemory;
    }
    if (outcome != DeltaOutcome::Applied) {
        std::vector<std::uint8_t>().swap(out);
    }
    return outcome;
}

}  // namespace ombrix
