#include "updater/Replace.h"

#include <algorithm>

#include "updater/Pause.h"

namespace ombrix::updater {
namespace {
constexpr unsigned kFirstPauseMs = 100;
constexpr unsigned kLongestPauseMs = 2000;
}  // namespace

std::optional<FileFailure> WithRetries(Clock& clock,
                                       const std::function<std::optional<FileFailure>()>& op) {
    const auto start = clock.nowMs();
    unsigned pause = kFirstPauseMs;
    for (;;) {
        auto failure = op();
        const auto elapsed = clock.nowMs() - start;
        if (!failure || !failure->held || elapsed >= kRetryForMs) {
            return failure;
        }
        PauseFor(clock, std::min<std::uint64_t>(pause, kRetryAtMostMs - elapsed));
        pause = std::min(pause * 2, kLongestPauseMs);
    }
}

std::optional<FileFailure> ReplaceProduct(Services& s, const InstallFiles& files,
                                          InstallProgress& progress) {
    if (!progress.copied) {
        if (auto failure = WithRetries(
                s.clock, [&] { return s.files.copyFile(files.download, files.fresh); })) {
            return failure;
        }
        progress.copied = true;
    }
    if (!progress.backedUp) {
        // A copy, not a rename: the product is never absent, and keeps the name it has.
        if (s.files.fileExists(files.product)) {
            if (auto failure = WithRetries(
                    s.clock, [&] { return s.files.copyFile(files.product, files.backup); })) {
                return failure;
            }
        }
        progress.backedUp = true;
    }
    if (auto failure =
            WithRetries(s.clock, [&] { return s.files.moveFile(files.fresh, files.product); })) {
        return failure;
    }
    progress.newInPlace = true;
    return std::nullopt;
}

}  // namespace ombrix::updater
