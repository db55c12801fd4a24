#include "updater/DeltaUpdate.h"

#include <algorithm>
#include <vector>

#include "platform/delta_patch.h"

namespace ombrix::updater {
namespace {

constexpr std::size_t kBlock = 1024 * 1024;

// Every byte of the held file, or nothing when a read comes back short.
std::optional<std::vector<std::uint8_t>> ReadWhole(HeldFile& file, std::uint64_t size) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    for (std::uint64_t at = 0; at < size; at += kBlock) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - at));
        const auto block = file.read(at, want);
        if (block.size() != want) {
            return std::nullopt;
        }
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    return bytes;
}

bool WriteWhole(FileSystem& files, const std::wstring& path,
                const std::vector<std::uint8_t>& bytes) {
    auto file = files.createPrivateFile(path);
    if (!file) {
        return false;
    }
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        if (!file->write(bytes.data() + at, std::min(kBlock, bytes.size() - at))) {
            return false;
        }
    }
    return file->close();
}

}  // namespace

bool ApplyStatedDelta(Services& s, const std::wstring& deltaPath, const StatedDelta& delta,
                      const std::wstring& product, const ReleaseStatement& statement,
                      const std::wstring& target) {
    if (s.ecdsa == nullptr) {
        return false;
    }
    // The decoder reads nothing whose digest the signed statement did not name.
    const FileHold frame = s.files.hold(deltaPath);
    if (!frame.file || frame.file->size() != delta.size ||
        HashHeldFile(*s.ecdsa, *frame.file) != delta.sha256) {
        return false;
    }
    const FileHold installed = s.files.hold(product);
    const auto installedSize = installed.file ? installed.file->size() : std::nullopt;
    if (!installedSize || *installedSize > s.maxDeltaBytes) {
        return false;
    }
    const auto reference = ReadWhole(*installed.file, *installedSize);
    if (!reference || Sha256Of(*s.ecdsa, reference->data(), reference->size()) != delta.from) {
        return false;
    }
    std::vector<std::uint8_t> result;
    HeldFile& source = *frame.file;
    const DeltaOutcome outcome = ApplyDelta(
        *reference,
        [&source](std::uint64_t offset, std::size_t size) { return source.read(offset, size); },
        delta.size, statement.size, MaxDeltaWindow(s), result);
    return outcome == DeltaOutcome::Applied && WriteWhole(s.files, target, result);
}

}  // namespace ombrix::updater
