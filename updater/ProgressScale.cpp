#include "updater/ProgressScale.h"

#include <limits>

namespace ombrix::updater {
namespace {
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
// Used once the length no longer fits: fine enough for any bar on any screen.
constexpr std::int32_t kScaledMaximum = 1 << 30;
}  // namespace

ProgressScale::ProgressScale(std::int64_t total)
    : total_(total),
      maximum_(total <= kInt32Max ? static_cast<std::int32_t>(total) : kScaledMaximum) {}

std::int32_t ProgressScale::position(std::int64_t done) const {
    if (total_ <= kInt32Max) {
        return static_cast<std::int32_t>(done < kInt32Max ? done : kInt32Max);
    }
    const long double fraction = static_cast<long double>(done) / static_cast<long double>(total_);
    const long double scaled = fraction * kScaledMaximum;
    return scaled >= kScaledMaximum ? kScaledMaximum : static_cast<std::int32_t>(scaled);
}

}  // namespace ombrix::updater
