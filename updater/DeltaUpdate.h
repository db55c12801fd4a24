#pragma once
// An update by delta: the signed statement names, for the bytes of an earlier release, a zstd
// frame that turns them into the new one. It costs a few percent of the program's size; any
// failure on its way costs only the whole program, in the same run.
#include <string>

#include "updater/ReleaseStatement.h"
#include "updater/Services.h"

namespace ombrix::updater {

// The largest window a delta's frame may ask for: deltas are made with a window over the whole
// of the larger file, so twice the largest product a delta is made for.
inline std::uint64_t MaxDeltaWindow(const Services& s) {
    return 2 * s.maxDeltaBytes;
}

// Turns the complete delta at `deltaPath` into the stated release at `target`. Before a byte of
// it is decoded, the delta must have the stated length and SHA-256 and the installed `product`
// (held against writes meanwhile, and read whole) the bytes the delta applies to; the decoded
// frame must hold exactly the stated size. False on any failure: the caller removes what is left
// and takes the whole program instead.
bool ApplyStatedDelta(Services& s, const std::wstring& deltaPath, const StatedDelta& delta,
                      const std::wstring& product, const ReleaseStatement& statement,
                      const std::wstring& target);

}  // namespace ombrix::updater
