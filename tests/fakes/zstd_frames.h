#pragma once
// Deltas as the vendor's tool makes them, made in the test itself with zstd's compressor.
#include <algorithm>
#include <cstdint>
#include <vector>

#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace ombrix::fakes {

// What `zstd -19 --patch-from=reference` writes (the reference as prefix, the content size and
// a checksum in the frame, a window that covers the file), with switches for the odd frames.
struct FrameOptions {
    bool contentSize = true;
    int windowLog = 0;  // 0: as the command line chooses
};
inline std::vector<std::uint8_t> Frame(const std::vector<std::uint8_t>& reference,
                                       const std::vector<std::uint8_t>& content,
                                       FrameOptions options = {}) {
    ZSTD_CCtx* encoder = ZSTD_createCCtx();
    int windowLog = options.windowLog;
    if (windowLog == 0) {
        windowLog = 10;
        while ((std::size_t{1} << windowLog) <= std::max(reference.size(), content.size())) {
            ++windowLog;
        }
    }
    ZSTD_CCtx_setParameter(encoder, ZSTD_c_compressionLevel, 19);
    ZSTD_CCtx_setParameter(encoder, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(encoder, ZSTD_c_contentSizeFlag, options.contentSize ? 1 : 0);
    ZSTD_CCtx_setParameter(encoder, ZSTD_c_windowLog, windowLog);
    ZSTD_CCtx_refPrefix(encoder, reference.data(), reference.size());
    std::vector<std::uint8_t> frame(ZSTD_compressBound(content.size()));
    ZSTD_outBuffer output{frame.data(), frame.size(), 0};
    ZSTD_inBuffer input{content.data(), content.size(), 0};
    // Streamed without a pledged size: the header then has a content size only when asked.
    if (options.contentSize) {
        ZSTD_CCtx_setPledgedSrcSize(encoder, content.size());
    }
    while (ZSTD_compressStream2(encoder, &output, &input, ZSTD_e_end) != 0) {
    }
    ZSTD_freeCCtx(encoder);
    frame.resize(output.pos);
    return frame;
}

}  // namespace ombrix::fakes
