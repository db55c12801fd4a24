#include "updater/Replace.h"

#include <algorithm>
#include <memory>

#include "updater/Wait.h"

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

namespace {

constexpr std::size_t kCopyBlock = 64 * 1024;

// Copies the held download into a new file at `path`, never through what is there: a file or
// link of that name is removed first, and the copy is only made where none is left.
std::optional<FileFailure> CopyHeld(Services& s, HeldFile& download, const std::wstring& path,
                                    std::unique_ptr<NewFile>& copy) {
    copy.reset();
    NewFileResult made = s.files.createNew(path);
    if (!made.file && s.files.fileExists(path)) {
        s.files.deleteFile(path);
        made = s.files.createNew(path);
    }
    if (!made.file) {
        return made.failure;
    }
    const auto size = download.size();
    if (!size) {
        return FileFailure{};
    }
    for (std::uint64_t at = 0; at < *size; at += kCopyBlock) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, *size - at));
        const auto block = download.read(at, want);
        if (block.size() != want || !made.file->write(block.data(), block.size())) {
            return FileFailure{};
        }
    }
    // On the disk before anything is renamed onto it: a power cut must not leave a product of
    // zeros behind a completed rename.
    if (!made.file->flush()) {
        return FileFailure{};
    }
    copy = std::move(made.file);
    return std::nullopt;
}

}  // namespace

std::optional<FileFailure> ReplaceProduct(Run& run) {
    Services& s = run.s;
    const InstallFiles& files = run.installFiles;
    InstallProgress& progress = run.install;
    if (!progress.copied) {
        if (!run.heldDownload) {
            return FileFailure{};  // the download is no longer the one that was checked
        }
        if (auto failure = WithRetries(s.clock, [&] {
                return CopyHeld(s, *run.heldDownload, files.fresh, run.freshCopy);
            })) {
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
    if (!run.freshCopy) {
        return FileFailure{};
    }
    if (auto failure = WithRetries(s.clock, [&] {
            // A read-only product would refuse the rename as if it were in use.
            s.files.makeWritable(files.product);
            return run.freshCopy->renameOver(files.product);
        })) {
        return failure;
    }
    // Let go at once: the new product must open for its start.
    run.freshCopy.reset();
    progress.newInPlace = true;
    return std::nullopt;
}

}  // namespace ombrix::updater
